#pragma once
// Recognises a sync message that reaches the device twice, once through the platform push
// service and once through the messaging connection, so that only its first arrival is handed to
// the app. Records live in the reliable-message store and expire. Main thread only, like the
// store.
#include <cstdint>
#include <memory>

#include "messaging/rmq/zcm_rmq_manager.h"
#include "platform/foundation/value.h"

inline constexpr const char* kZCMMessageIDKey = "zcm.message_id";
inline constexpr const char* kZCMTimeToLiveKey = "zcm.ttl";
// How long a record is kept when the message gives no time to live: 28 days.
inline constexpr int64_t kZCMSyncMessageDefaultTimeToLive = 2419200;

class ZCMSyncMessageManager {
 public:
  explicit ZCMSyncMessageManager(std::shared_ptr<ZCMRmqManager> rmqManager)
      : rmqManager_(std::move(rmqManager)) {}

  const std::shared_ptr<ZCMRmqManager>& rmqManager() const { return rmqManager_; }

  // Whether the message is a repeat, which the caller drops. A first arrival, and every failure,
  // answers false.
  bool didReceiveAPNSSyncMessage(const platform::Dictionary& message);
  bool didReceiveMCSSyncMessage(const platform::Dictionary& message);
  bool didReceiveSyncMessage(const platform::Dictionary& message, bool viaAPNS, bool viaMCS);

  // Now plus the message's "zcm.ttl", or plus 28 days without one; seconds since 1970.
  static int64_t expirationTimeForSyncMessage(const platform::Dictionary& message);

  // Removes expired records and those seen through both roads.
  void removeExpiredSyncMessages();

 private:
  std::shared_ptr<ZCMRmqManager> rmqManager_;
};
