#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"

#include <cstdlib>
#include <deque>
#include <optional>

#include "platform/dispatch/main_thread_check.h"
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
  VKR_ASSERT_MAIN_THREAD();
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
    // The version is kept only with its agent, so that it never vouches for an agent not stored.
    platform::Status kept = defaults->setObject(*agent, kUserAgentKey);
    if (kept) kept = defaults->setObject(version, kUserAgentVersionKey);
    if (kept) {
      defaults->synchronize();  // a failed write is logged and retried by the defaults
    } else {
      platform::logf("Could not keep the user agent: %s", kept.error().description().c_str());
    }
  }
  s.originalUserAgent = agent;
  return *agent;
}

void VKRUserAgentUtil::onAppLocaleDidChange(const platform::Notification&) {
  state().originalUserAgent.reset();
}

void VKRUserAgentUtil::acquireLock(LockCompletion completion) {
  VKR_ASSERT_MAIN_THREAD();
  State& s = state();
  if (s.currentToken != 0) {
    s.waiting.push_back(std::move(completion));
    return;
  }
  s.currentToken = ++s.lastToken;
  completion(s.currentToken);
}

void VKRUserAgentUtil::releaseLock(int64_t* lockToken) {
  VKR_ASSERT_MAIN_THREAD();
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
  VKR_ASSERT_MAIN_THREAD();
  requireCurrentToken(lockToken);
  platform::UserDefaults::standard()->registerDefaults({{kWebViewUserAgentKey, userAgent}});
}

void VKRUserAgentUtil::applyUserAgentDefault(platform::web::WebView& webView) {
  std::optional<std::string> agent =
      platform::UserDefaults::standard()->stringForKey(kWebViewUserAgentKey);
  if (agent) webView.setCustomUserAgent(*agent);
}
