#pragma once
// What the messaging client uses of the reliable-message store: it owns the store, hands out
// the ids of upstream messages and translates between messages and rows. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/rmq/zcm_rmq2_persistent_store.h"

namespace google::protobuf {
class MessageLite;
}
class DudevDataMessageStanza;

class ZCMRmqManager {
 public:
  using RmqMessageHandler = std::function<void(int64_t rmqId, int8_t tag, const std::string& data)>;
  using DataMessageHandler =
      std::function<void(int64_t rmqId, const DudevDataMessageStanza& stanza)>;

  // Opens the store "<documents>/<name>.sqlite"; the id counter is not loaded yet.
  explicit ZCMRmqManager(const std::string& databaseName);

  ZCMRmq2PersistentStore& rmq2Store() { return store_; }
  // The last id handed out or loaded; -1 until loaded.
  int64_t rmqId() const { return rmqId_; }

  // Loads the counter unless it is loaded.
  void loadRmqId();
  // From the highest stored upstream id, or the saved counter when no message is stored: that
  // value plus 1.
  void loadInitialOutgoingPersistentId();
  // The next upstream id (the counter is loaded first when it isn't).
  int64_t nextRmqId();

  // Saves an upstream message, giving it a new id as its persistentId when it has none.
  bool saveRmqMessage(google::protobuf::MessageLite& message,
                      std::optional<platform::Error>* error);
  bool saveMessage(const google::protobuf::MessageLite& message, int64_t rmqId, int8_t tag,
                   std::optional<platform::Error>* error);
  void saveLastOutgoingRmqId(int64_t rmqId);

  bool saveS2dMessageWithRmqId(const std::string& rmqId);
  std::vector<std::string> unackedS2dRmqIds();
  void removeS2dIds(const std::vector<std::string>& rmqIds);

  int64_t queryHighestRmqId();
  int64_t querylastRmqId();

  // Every stored upstream message in ascending id order: to the first handler as a row, and,
  // when it is a data message stanza that parses, to the second as a stanza. Neither: nothing.
  void scanWithRmqMessageHandler(const RmqMessageHandler& rmqMessageHandler,
                                 const DataMessageHandler& dataMessageHandler);
  // Removes confirmed upstream messages; the saved counter moves past the highest id removed so
  // that ids are never handed out twice. Answers the rows deleted.
  int removeRmqMessagesWithRmqId(const std::string& rmqId);
  int removeRmqMessagesWithRmqIds(const std::vector<std::string>& rmqIds);

  // Sync-message records, as the store keeps them.
  std::optional<ZCMPersistentSyncMessage> querySyncMessageWithRmqID(const std::string& rmqID);
  bool deleteSyncMessageWithRmqID(const std::string& rmqID);
  int deleteExpiredOrFinishedSyncMessages(std::optional<platform::Error>* error);
  bool saveSyncMessageWithRmqID(const std::string& rmqID, int64_t expirationTime, bool apnsReceived,
                                bool mcsReceived, std::optional<platform::Error>* error);
  bool updateSyncMessageViaAPNSWithRmqID(const std::string& rmqID,
                                         std::optional<platform::Error>* error);
  bool updateSyncMessageViaMCSWithRmqID(const std::string& rmqID,
                                        std::optional<platform::Error>* error);

  static void removeDatabaseWithName(const std::string& databaseName);

 private:
  ZCMRmq2PersistentStore store_;
  int64_t rmqId_ = -1;
};
