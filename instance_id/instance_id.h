#pragma once
// The instance-identity client's public face: registration tokens for an authorized entity (a
// sender id) and a scope, their deletion, the installation's identity, and word that every token
// must be fetched again. It checks the device in before any token work. Callers may call from
// any thread; every handler runs once, in a later turn of the main queue.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "instance_id/iid_logger.h"
#include "instance_id/key_pair_manager.h"
#include "instance_id/token_manager.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/thread_annotations.h"

// Posted by the messaging client for data messages of the identity service; the object is a
// dictionary (platform::Value) with the command under "CMD".
inline constexpr const char* kVIZInstanceIDZCMMessageNotification =
    "com.zorova.zcm/notification/iid";

class VIZInstanceID : public std::enable_shared_from_this<VIZInstanceID> {
 public:
  using TokenHandler = VIZInstanceIDTokenManager::TokenHandler;
  using ErrorHandler = VIZInstanceIDTokenManager::ErrorHandler;
  using IDHandler = TokenHandler;

  static std::shared_ptr<VIZInstanceID> sharedInstance();
  // Tests: replaces the shared instance by a new one that is not started.
  static void resetSharedInstanceForTesting();

  // Sets the log level and delegate; the first start also makes the managers and observes the
  // service's commands. Later starts keep both, so commands are handled once.
  void startWithConfig(const VIZInstanceIDConfig& config);

  // Options: "apns_token" (the push token's bytes) and "apns_sandbox" (boolean), both required
  // for the scope "ZCM".
  void tokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                 const platform::Dictionary& options, TokenHandler handler);
  void deleteTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                       ErrorHandler handler);
  void getIDWithHandler(IDHandler handler);
  void deleteIDWithHandler(ErrorHandler handler);
  void stopAllRequests();
  std::string deviceAuthID();
  std::string secretToken();

  // Answers once valid check-in credentials are held; a check-in already under way is waited
  // for waitIntervalForCheckinRefresh() seconds, then 501 unless it succeeded.
  void fetchCheckinInfoWithHandler(ErrorHandler handler);
  static double waitIntervalForCheckinRefresh() { return 30.0; }

  // Commands from registration replies ("SYNC", "RST") to the shared instance.
  static void notifyTokenRefresh();
  static void notifyIdentityLost();

  // The toolbox logger level of a client log level (0-3 → 1-4, others → 1).
  static int32_t ztmLoggerLevelForVIZInstanceIDLogLevel(int8_t level);
  // The options with the push token's bytes replaced by its text form.
  static platform::Dictionary replaceAPNSDataWithString(const platform::Dictionary& options);
  static bool verifyNewTokenOptions(const platform::Dictionary& options);

 private:
  struct Managers {
    std::shared_ptr<VIZInstanceIDTokenManager> tokenManager;
    std::shared_ptr<VIZInstanceIDKeyPairManager> keyPairManager;
  };
  Managers managers() const;

  void handleTokenRefresh();
  void handle_CMD_RST();
  void handle_CMD_RST_FULL();
  void didReceiveZCMMessage(const platform::Notification& notification);
  void handleRefreshMessage(const std::string& command);
  // Runs `next` on the main queue with the loaded key pair (at once when the pair is in memory and
  // the caller is on the main thread), or answers 1006.
  static void withKeyPair(const std::shared_ptr<VIZInstanceIDKeyPairManager>& keyPairManager,
                          std::function<void(const VIZInstanceIDKeyPair&)> next,
                          std::function<void(const platform::Error&)> onError);

  mutable platform::Mutex mutex_;
  std::shared_ptr<VIZInstanceIDTokenManager> tokenManager_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<VIZInstanceIDKeyPairManager> keyPairManager_ VKR_GUARDED_BY(mutex_);
  std::weak_ptr<VIZInstanceIDDelegate> refreshTokenDelegate_ VKR_GUARDED_BY(mutex_);
  platform::NotificationCenter::Observation zcmMessageObservation_ VKR_GUARDED_BY(mutex_);
};
