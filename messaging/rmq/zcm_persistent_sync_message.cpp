#include "messaging/rmq/zcm_persistent_sync_message.h"

#include <ctime>

#include "platform/foundation/log.h"

std::string ZCMPersistentSyncMessage::description() const {
  const auto seconds = static_cast<time_t>(expirationTime_);
  tm utc{};
  gmtime_r(&seconds, &utc);
  char expiry[40];
  std::strftime(expiry, sizeof expiry, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return platform::format("ZCMPersistentSyncMessage: (rmqID: %s, apns: %d, mcs: %d, expiry: %s",
                          rmqID_.c_str(), apnsReceived_ ? 1 : 0, mcsReceived_ ? 1 : 0, expiry);
}
