#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "ads/foundation/scheduler.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url.h"

// The engine's fire-and-forget HTTP pinger: one GET per ping, success meaning a 2xx answer. On
// top of that, retry groups: URLs that must reach their server eventually, kept in the standard
// user defaults (so they survive a restart) and retried by a periodic pass until a ping succeeds
// or the URL's tries are used up.
//
// Thread-safe: every state change and every use of the retry store runs on the pinger's serial
// queue ("com.zorova.zizov.pinger"); ping answers hop there.
class ZADPinger : public std::enable_shared_from_this<ZADPinger> {
 public:
  static std::shared_ptr<ZADPinger> sharedInstance();
  // A pinger reading its capacity and tries from the user defaults now.
  static std::shared_ptr<ZADPinger> make();
  ZADPinger(const ZADPinger&) = delete;
  ZADPinger& operator=(const ZADPinger&) = delete;

  // Sends one GET and, when both are given, calls the completion on the queue with whether the
  // server answered 2xx. Text that is empty or no absolute URL fails at once, without a request.
  void pingURLString(const std::string& urlString, platform::QueuePtr queue,
                     std::function<void(bool success)> completion);
  // Keeps the retry URL in the group, then pings the URL and drops the retry URL again when that
  // succeeds. Nothing when an argument is missing (empty).
  void pingWithRetryGroupKey(const std::string& groupKey, const std::optional<platform::URL>& url,
                             const std::string& retryURLString);
  // Starts the periodic retry pass and schedules an early one.
  void start();

  // The retry store. Each change reads and rewrites a group under the store's lock, so a report
  // stored from a dying thread (which cannot wait for the queue) is never lost to a retry pass.
  // Any thread; the retry pass runs on the pinger's queue.
  void pingRetryURLs();
  void storeRetryURLString(const std::string& retryURLString, const std::string& groupKey);
  void removeRetryURLString(const std::string& retryURLString, const std::string& groupKey);

  const platform::QueuePtr& lockQueue() const { return lockQueue_; }
  // Whether a ping of the text is under way.
  bool isPinging(const std::string& urlString) const;

 private:
  ZADPinger();

  const platform::QueuePtr lockQueue_;
  const int64_t maximumRetryURLCount_;
  const int64_t URLRetryCount_;
  // On lockQueue_ only.
  std::set<std::string> pingedURLs_;
  std::shared_ptr<ZADScheduler> scheduler_;
  platform::Mutex retryStoreMutex_;
};

// The user-defaults keys of the retry store.
inline constexpr const char* kZADRetryGroupKeysKey = "/zorova/ads/retry_group_keys";
inline constexpr const char* kZADRetryCountKey = "/zorova/ads/retry_count";
