#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"

#include <cstdlib>
#include <deque>
#include <optional>

#include "platform/foundation/log.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/user_defaults.h"
#include "platform/web/web_engine.h"

namespace {

struct State {
  int64_t currentToken = 0;
  int64_t lastToken = 0;
  std::deque<VKRUserAgentUtil::LockCompletion> waiting;
  std::optional<std::string> originalUserAgent;
  platform::NotificationCenter::Observation localeObservation;
};

State& state() {
  static State* instance = new State();  // lives as long as the process
  return *instance;
}

void requireCurrentToken(int64_t lockToken) {
  const int64_t current = state().currentToken;
  if (lockToken == current) return;
  platform::logf("Got token %ld, expected %ld", static_cast<long>(lockToken),
                 static_cast<long>(current));
  std::abort();
}

}  // namespace

std::string VKRUserAgentUtil::originalUserAgent() {
  State& s = state();
  if (s.originalUserAgent) return *s.originalUserAgent;
  if (!s.localeObservation.active()) {
    s.localeObservation = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kCurrentLocaleDidChangeNotification, nullptr, &onAppLocaleDidChange);
  }
  const std::string version = platform::deviceModel() + " " + platform::systemVersion() + " " +
                              platform::currentLocaleIdentifier();
  std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
  std::optional<std::string> agent = defaults->stringForKey(kUserAgentKey);
  if (!agent || defaults->stringForKey(kUserAgentVersionKey) != version) {
    std::shared_ptr<platform::web::WebEngine> engine = platform::web::webEngine();
    if (!engine) return "";  // nothing to ask yet; found once an engine is installed
    agent = engine->defaultUserAgent();
    defaults->setObject(*agent, kUserAgentKey);
    defaults->setObject(version, kUserAgentVersionKey);
    defaults->synchronize();
  }
  s.originalUserAgent = agent;
  return *agent;
}

void VKRUserAgentUtil::onAppLocaleDidChange(const platform::Notification&) {
  state().originalUserAgent.reset();
}

void VKRUserAgentUtil::acquireLock(LockCompletion completion) {
  State& s = state();
  if (s.currentToken != 0) {
    s.waiting.push_back(std::move(completion));
    return;
  }
  s.currentToken = ++s.lastToken;
  completion(s.currentToken);
}

void VKRUserAgentUtil::releaseLock(int64_t* lockToken) {
  if (!lockToken || *lockToken == 0) return;
  requireCurrentToken(*lockToken);
  // Cleared before the next holder runs, which may keep its token in the same place.
  *lockToken = 0;
  State& s = state();
  if (s.waiting.empty()) {
    s.currentToken = 0;
    return;
  }
  LockCompletion next = std::move(s.waiting.front());
  s.waiting.pop_front();
  s.currentToken = ++s.lastToken;
  platform::logf("Gave lock %ld", static_cast<long>(s.currentToken));
  next(s.currentToken);
}

void VKRUserAgentUtil::setUserAgent(const std::string& userAgent, int64_t lockToken) {
  requireCurrentToken(lockToken);
  platform::UserDefaults::standard()->registerDefaults({{kWebViewUserAgentKey, userAgent}});
}

void VKRUserAgentUtil::applyUserAgentDefault(platform::web::WebView& webView) {
  std::optional<std::string> agent =
      platform::UserDefaults::standard()->stringForKey(kWebViewUserAgentKey);
  if (agent) webView.setCustomUserAgent(*agent);
}
