#pragma once
// Subscribes a registration token to topics ("/topics/<name>") and unsubscribes it, through the
// messaging service's client of the moment (read at each call, so a call before the service
// started does not spoil later ones). Answers of the last three days come from a cache in the
// user defaults. Callable from any thread; the work runs on the main thread and the handler is
// always called later on the main queue, with no error or an error of the messaging domain:
// 3004 without a started service, 3003 for an invalid topic, 3001/3002 answered from the cache,
// 501 without check-in credentials, 5 while the same request runs, 7 for a reply without token,
// or the fetch's error.
#include <functional>
#include <optional>
#include <string>

#include "messaging/service/zcm_pubsub_cache.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

class ZCMPubSub {
 public:
  using Handler = std::function<void(const std::optional<platform::Error>& error)>;

  static ZCMPubSub& sharedInstance();

  // Options with values other than text are logged and trimmed, not refused.
  void subscribeWithToken(const std::string& token, const std::string& topic,
                          const platform::Dictionary& options, Handler handler);
  void unsubscribeWithToken(const std::string& token, const std::string& topic,
                            const platform::Dictionary& options, Handler handler);

  static bool verifyPubSubTopic(const std::string& topic);
  static bool verifyPubSubOptions(const platform::Dictionary& options);

 private:
  ZCMPubSub() = default;
  void updateSubscription(const std::string& token, const std::string& topic,
                          const platform::Dictionary& options, bool shouldDelete,
                          const Handler& handler);

  ZCMPubSubCache cache_;
};
