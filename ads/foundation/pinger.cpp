#include "ads/foundation/pinger.h"

#include <algorithm>
#include <cmath>

#include "ads/foundation/sdk_core_services.h"
#include "platform/dispatch/timer.h"
#include "platform/net/url_connection.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr double kDefaultMaximumRetryURLCount = 10;
constexpr double kDefaultURLRetryCount = 3;
constexpr double kDefaultPingInterval = 60.0;
constexpr double kDefaultFirstPingInterval = 3.0;

// A count setting: its positive whole value, else the default.
int64_t countSetting(const char* name, double fallback) {
  const auto count = static_cast<int64_t>(std::trunc(ZADPositiveServerConstant(name, fallback)));
  return count > 0 ? count : static_cast<int64_t>(fallback);
}

}  // namespace

std::shared_ptr<ZADPinger> ZADPinger::sharedInstance() {
  static const std::shared_ptr<ZADPinger> pinger = make();
  return pinger;
}

std::shared_ptr<ZADPinger> ZADPinger::make() { return std::shared_ptr<ZADPinger>(new ZADPinger()); }

ZADPinger::ZADPinger()
    : lockQueue_(platform::makeSerialQueue("com.zorova.zizov.pinger")),
      maximumRetryURLCount_(countSetting("maximum_retry_url_count", kDefaultMaximumRetryURLCount)),
      URLRetryCount_(countSetting("url_time_to_live", kDefaultURLRetryCount)) {}

void ZADPinger::pingURLString(const std::string& urlString, platform::QueuePtr queue,
                              std::function<void(bool)> completion) {
  auto finish = [queue = std::move(queue), completion = std::move(completion)](bool success) {
    if (queue && completion) queue->async([completion, success] { completion(success); });
  };
  platform::Result<platform::URL> url = platform::URL::parse(urlString);
  if (urlString.empty() || !url.ok() || !url->isAbsolute()) return finish(false);
  lockQueue_->async([self = shared_from_this(), urlString, url = *url, finish] {
    self->pingedURLs_.insert(urlString);
    platform::net::sendAsynchronousRequest(
        platform::net::URLRequest(url), self->lockQueue_,
        [self, urlString, finish](const std::optional<platform::net::URLResponse>& response,
                                  const platform::Bytes&,
                                  const std::optional<platform::Error>& error) {
          const int status = response && response->isHTTP ? response->statusCode : 0;
          self->pingedURLs_.erase(urlString);
          finish(!error && status >= 200 && status <= 299);
        });
  });
}

void ZADPinger::pingWithRetryGroupKey(const std::string& groupKey,
                                      const std::optional<platform::URL>& url,
                                      const std::string& retryURLString) {
  if (groupKey.empty() || !url || retryURLString.empty()) return;
  lockQueue_->async([self = shared_from_this(), groupKey, url = *url, retryURLString] {
    self->storeRetryURLString(retryURLString, groupKey);
    self->pingURLString(url.absoluteString(), self->lockQueue_,
                        [self, groupKey, retryURLString](bool success) {
                          if (success) self->removeRetryURLString(retryURLString, groupKey);
                        });
  });
}

void ZADPinger::storeRetryURLString(const std::string& retryURLString,
                                    const std::string& groupKey) {
  if (retryURLString.empty() || groupKey.empty()) return;
  platform::MutexLock lock(retryStoreMutex_);
  auto defaults = platform::UserDefaults::standard();
  platform::Value::Array groupKeys =
      defaults->arrayForKey(kZADRetryGroupKeysKey).value_or(platform::Value::Array());
  if (std::find(groupKeys.begin(), groupKeys.end(), platform::Value(groupKey)) == groupKeys.end()) {
    groupKeys.emplace_back(groupKey);
    (void)defaults->setObject(groupKeys, kZADRetryGroupKeysKey);
  }
  platform::Dictionary group =
      defaults->dictionaryForKey(groupKey).value_or(platform::Dictionary());
  // A full group takes no new URL; an entry already there keeps its tries.
  if (static_cast<int64_t>(group.size()) >= maximumRetryURLCount_ ||
      group.contains(retryURLString)) {
    return;
  }
  group.set(retryURLString, platform::Value::dictionary({{kZADRetryCountKey, URLRetryCount_}}));
  (void)defaults->setObject(group, groupKey);
}

void ZADPinger::removeRetryURLString(const std::string& retryURLString,
                                     const std::string& groupKey) {
  if (retryURLString.empty() || groupKey.empty()) return;
  platform::MutexLock lock(retryStoreMutex_);
  auto defaults = platform::UserDefaults::standard();
  auto group = defaults->dictionaryForKey(groupKey);
  if (!group) return;
  group->remove(retryURLString);
  (void)defaults->setObject(*group, groupKey);
}

void ZADPinger::pingRetryURLs() {
  platform::MutexLock lock(retryStoreMutex_);
  auto defaults = platform::UserDefaults::standard();
  auto groupKeys = defaults->arrayForKey(kZADRetryGroupKeysKey);
  if (!groupKeys) return;
  for (const platform::Value& keyValue : *groupKeys) {
    const std::string* groupKey = keyValue.stringIf();
    if (!groupKey) continue;
    auto group = defaults->dictionaryForKey(*groupKey);
    if (!group) continue;
    platform::Dictionary kept;
    for (const auto& item : *group) {
      const std::string& retryURLString = item.first;
      if (pingedURLs_.contains(retryURLString)) {
        kept.set(retryURLString, item.second);  // its ping is under way
        continue;
      }
      const int64_t triesLeft = item.second[kZADRetryCountKey].intOr(0);
      if (triesLeft < 1) continue;
      kept.set(retryURLString, platform::Value::dictionary({{kZADRetryCountKey, triesLeft - 1}}));
      pingURLString(retryURLString, lockQueue_,
                    [self = shared_from_this(), retryURLString, key = *groupKey](bool success) {
                      if (success) self->removeRetryURLString(retryURLString, key);
                    });
    }
    (void)defaults->setObject(kept, *groupKey);
  }
}

void ZADPinger::start() {
  // Settings that are not positive numbers would make a busy timer: they take the defaults.
  const double interval = ZADPositiveServerConstant("ping_interval", kDefaultPingInterval);
  const double firstDelay =
      ZADPositiveServerConstant("first_ping_interval", kDefaultFirstPingInterval);
  std::function<void()> retry = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->pingRetryURLs();
  };
  lockQueue_->async([self = shared_from_this(), interval, firstDelay, retry] {
    const bool isNew = !self->scheduler_;
    if (isNew) self->scheduler_ = ZADScheduler::make(interval);
    platform::mainQueue()->async(
        [scheduler = self->scheduler_, queue = self->lockQueue_, isNew, retry] {
          if (isNew) scheduler->taskIDScheduledOnQueue(queue, retry);
          scheduler->start();
        });
    if (firstDelay < interval) {
      platform::dispatchAfter(platform::seconds(firstDelay), self->lockQueue_, retry);
    }
  });
}

bool ZADPinger::isPinging(const std::string& urlString) const {
  bool pinging = false;
  lockQueue_->sync([&] { pinging = pingedURLs_.contains(urlString); });
  return pinging;
}
