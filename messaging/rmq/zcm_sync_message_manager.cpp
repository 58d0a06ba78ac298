#include "messaging/rmq/zcm_sync_message_manager.h"

#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_logger.h"
#include "platform/foundation/text_number.h"

namespace {

// The value's 64-bit integer reading: a number's value, or the leading number of a text.
int64_t longLongValue(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return platform::integerValueOfText(*text);
  return value.intOr(0);
}

}  // namespace

bool ZCMSyncMessageManager::didReceiveAPNSSyncMessage(const platform::Dictionary& message) {
  return didReceiveSyncMessage(message, true, false);
}

bool ZCMSyncMessageManager::didReceiveMCSSyncMessage(const platform::Dictionary& message) {
  return didReceiveSyncMessage(message, false, true);
}

bool ZCMSyncMessageManager::didReceiveSyncMessage(const platform::Dictionary& message, bool viaAPNS,
                                                  bool viaMCS) {
  const platform::Value* idValue = message.find(kZCMMessageIDKey);
  const std::string* rmqID = idValue ? idValue->stringIf() : nullptr;
  if (!rmqID || rmqID->empty()) {
    ZCM_LOG_ERROR("Invalid nil rmqID for sync message.");
    return false;
  }

  std::optional<ZCMPersistentSyncMessage> record = rmqManager_->querySyncMessageWithRmqID(*rmqID);
  if (!record) {
    // With no room left nothing is stored, and every arrival counts as the first.
    if (ZCMGetFreeDiskSpaceInMB() == 0) return false;
    std::optional<platform::Error> error;
    if (rmqManager_->saveSyncMessageWithRmqID(*rmqID, expirationTimeForSyncMessage(message),
                                              viaAPNS, viaMCS, &error)) {
      ZCM_LOG_INFO("Added sync message to cache: %s", rmqID->c_str());
    } else {
      ZCM_LOG_ERROR("Failed to save sync message with rmqID %s", rmqID->c_str());
    }
    return false;
  }

  if (viaAPNS && !record->apnsReceived()) {
    record->setApnsReceived(true);
    std::optional<platform::Error> error;
    if (!rmqManager_->updateSyncMessageViaAPNSWithRmqID(*rmqID, &error)) {
      ZCM_LOG_ERROR("Failed to update APNS state for sync message %s", rmqID->c_str());
    }
  }
  if (viaMCS && !record->mcsReceived()) {
    record->setMcsReceived(true);
    std::optional<platform::Error> error;
    if (!rmqManager_->updateSyncMessageViaMCSWithRmqID(*rmqID, &error)) {
      ZCM_LOG_ERROR("Failed to update MCS state for sync message %s", rmqID->c_str());
    }
  }
  if (record->apnsReceived() && record->mcsReceived()) {
    if (rmqManager_->deleteSyncMessageWithRmqID(*rmqID)) {
      ZCM_LOG_INFO("Successfully deleted sync message from cache %s", rmqID->c_str());
    } else {
      ZCM_LOG_ERROR("Failed to delete sync message %s", rmqID->c_str());
    }
  }
  return true;
}

int64_t ZCMSyncMessageManager::expirationTimeForSyncMessage(const platform::Dictionary& message) {
  const platform::Value* ttlValue = message.find(kZCMTimeToLiveKey);
  const int64_t ttl = ttlValue ? longLongValue(*ttlValue) : kZCMSyncMessageDefaultTimeToLive;
  int64_t expiry = 0;
  // A time to live so far out that the sum overflows is taken as the farthest time there is.
  if (__builtin_add_overflow(ZCMCurrentTimestampInSeconds(), ttl, &expiry)) {
    return ttl > 0 ? INT64_MAX : INT64_MIN;
  }
  return expiry;
}

void ZCMSyncMessageManager::removeExpiredSyncMessages() {
  std::optional<platform::Error> error;
  const int deleted = rmqManager_->deleteExpiredOrFinishedSyncMessages(&error);
  if (error) {
    ZCM_LOG_ERROR("Error while deleting expired sync messages %s", error->description().c_str());
  } else {
    ZCM_LOG_INFO("Successfully deleted %d sync messages from store", deleted);
  }
}
