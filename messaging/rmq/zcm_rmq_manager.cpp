#include "messaging/rmq/zcm_rmq_manager.h"

#include <algorithm>

#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/wire_tags.h"
#include "platform/foundation/text_number.h"

ZCMRmqManager::ZCMRmqManager(const std::string& databaseName) : store_(databaseName) {}

void ZCMRmqManager::loadRmqId() {
  if (rmqId_ < 0) loadInitialOutgoingPersistentId();
}

void ZCMRmqManager::loadInitialOutgoingPersistentId() {
  int64_t highest = queryHighestRmqId();
  if (highest == 0) highest = querylastRmqId();
  rmqId_ = highest + 1;
}

int64_t ZCMRmqManager::nextRmqId() {
  loadRmqId();
  return ++rmqId_;
}

bool ZCMRmqManager::saveRmqMessage(google::protobuf::MessageLite& message,
                                   std::optional<platform::Error>* error) {
  std::optional<std::string> persistentId = ZCMGetPersistentIdForProto(message);
  if (!persistentId || persistentId->empty()) {
    persistentId = std::to_string(nextRmqId());
    ZCMSetPersistentIdForProto(message, *persistentId);
  }
  return saveMessage(message, platform::integerValueOfText(*persistentId),
                     ZCMGetTagForProto(message), error);
}

bool ZCMRmqManager::saveMessage(const google::protobuf::MessageLite& message, int64_t rmqId,
                                int8_t tag, std::optional<platform::Error>* error) {
  return store_.saveMessageWithRmqId(rmqId, tag, message.SerializeAsString(), error);
}

void ZCMRmqManager::saveLastOutgoingRmqId(int64_t rmqId) { store_.updateLastOutgoingRmqId(rmqId); }

bool ZCMRmqManager::saveS2dMessageWithRmqId(const std::string& rmqId) {
  return store_.saveUnackedS2dMessageWithRmqId(rmqId);
}

std::vector<std::string> ZCMRmqManager::unackedS2dRmqIds() { return store_.unackedS2dRmqIds(); }

void ZCMRmqManager::removeS2dIds(const std::vector<std::string>& rmqIds) {
  store_.deleteMessagesFromTable(ZCMRmq2PersistentStore::kTableS2dRmqIds, rmqIds);
}

int64_t ZCMRmqManager::queryHighestRmqId() { return store_.queryHighestRmqId(); }

int64_t ZCMRmqManager::querylastRmqId() { return store_.queryLastRmqId(); }

void ZCMRmqManager::scanWithRmqMessageHandler(const RmqMessageHandler& rmqMessageHandler,
                                              const DataMessageHandler& dataMessageHandler) {
  if (!rmqMessageHandler && !dataMessageHandler) return;
  store_.scanOutgoingRmqMessagesWithHandler(
      [&](int64_t rmqId, int8_t tag, const std::string& data) {
        if (rmqMessageHandler) rmqMessageHandler(rmqId, tag, data);
        if (tag != kZCMTagDataMessageStanza || !dataMessageHandler) return;
        DudevDataMessageStanza stanza;
        // A row that doesn't parse is skipped rather than handed on half-read.
        if (stanza.ParsePartialFromString(data) && stanza.IsInitialized()) {
          dataMessageHandler(rmqId, stanza);
        }
      });
}

int ZCMRmqManager::removeRmqMessagesWithRmqId(const std::string& rmqId) {
  return removeRmqMessagesWithRmqIds({rmqId});
}

int ZCMRmqManager::removeRmqMessagesWithRmqIds(const std::vector<std::string>& rmqIds) {
  if (rmqIds.empty()) return 0;
  int64_t highest = INT64_MIN;
  for (const std::string& id : rmqIds)
    highest = std::max(highest, platform::integerValueOfText(id));
  if (highest < INT64_MAX && highest + 1 >= rmqId_) saveLastOutgoingRmqId(highest + 1);
  return store_.deleteMessagesFromTable(ZCMRmq2PersistentStore::kTableOutgoingRmqMessages, rmqIds);
}

std::optional<ZCMPersistentSyncMessage> ZCMRmqManager::querySyncMessageWithRmqID(
    const std::string& rmqID) {
  return store_.querySyncMessageWithRmqID(rmqID);
}

bool ZCMRmqManager::deleteSyncMessageWithRmqID(const std::string& rmqID) {
  return store_.deleteSyncMessageWithRmqID(rmqID);
}

int ZCMRmqManager::deleteExpiredOrFinishedSyncMessages(std::optional<platform::Error>* error) {
  return store_.deleteExpiredOrFinishedSyncMessages(error);
}

bool ZCMRmqManager::saveSyncMessageWithRmqID(const std::string& rmqID, int64_t expirationTime,
                                             bool apnsReceived, bool mcsReceived,
                                             std::optional<platform::Error>* error) {
  return store_.saveSyncMessageWithRmqID(rmqID, expirationTime, apnsReceived, mcsReceived, error);
}

bool ZCMRmqManager::updateSyncMessageViaAPNSWithRmqID(const std::string& rmqID,
                                                      std::optional<platform::Error>* error) {
  return store_.updateSyncMessageViaAPNSWithRmqID(rmqID, error);
}

bool ZCMRmqManager::updateSyncMessageViaMCSWithRmqID(const std::string& rmqID,
                                                     std::optional<platform::Error>* error) {
  return store_.updateSyncMessageViaMCSWithRmqID(rmqID, error);
}

void ZCMRmqManager::removeDatabaseWithName(const std::string& databaseName) {
  ZCMRmq2PersistentStore::removeDatabase(databaseName);
}
