#pragma once
// The reliable-message store on SQLite ("<name>.sqlite" in the documents folder): upstream
// messages the server has not confirmed, downstream ids not yet reported back, the counter of
// upstream ids and the sync-message records. Every statement is prepared, bound, stepped and
// finalized per call; values are always bound, never written into the SQL text. SQLite failures
// are logged ("ZCMRmqStore: error: code (%d) message: %@") and answered as false, 0 or an empty
// result. A database whose tables can't be made is replaced by a new one; when even that fails
// the store stays closed and every operation fails. Main thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "messaging/rmq/sqlite_handles.h"
#include "messaging/rmq/zcm_persistent_sync_message.h"
#include "platform/foundation/error.h"

class ZCMRmq2PersistentStore {
 public:
  static constexpr const char* kTableOutgoingRmqMessages = "outgoingRmqMessages";
  static constexpr const char* kTableLastRmqId = "lastrmqid";
  static constexpr const char* kTableS2dRmqIds = "s2dRmqIds_1";
  static constexpr const char* kTableOldS2dRmqIds = "s2dRmqIds";
  static constexpr const char* kTableIncomingSyncMessages = "incomingSyncMessages";

  using OutgoingMessageHandler =
      std::function<void(int64_t rmqId, int8_t tag, const std::string& data)>;

  // Opens (or creates) the database and its tables.
  explicit ZCMRmq2PersistentStore(std::string databaseName);

  // "<documents>/<name>.sqlite".
  static std::filesystem::path pathForDatabase(const std::string& databaseName);
  // Deletes the database file; errors are ignored.
  static void removeDatabase(const std::string& databaseName);

  const std::string& databaseName() const { return databaseName_; }
  bool isOpen() const { return database_ != nullptr; }

  // Downstream ids not yet reported to the server.
  bool saveUnackedS2dMessageWithRmqId(const std::string& rmqId);
  // In ascending text order; empty on error.
  std::vector<std::string> unackedS2dRmqIds();

  // An upstream message: its id, its frame tag and its serialized bytes. On failure `error`
  // (when given) has the SQLite message as its domain and the SQLite result as its code.
  bool saveMessageWithRmqId(int64_t rmqId, int8_t tag, std::string_view data,
                            std::optional<platform::Error>* error);
  // Every upstream message with a non-zero id, in ascending id order.
  void scanOutgoingRmqMessagesWithHandler(const OutgoingMessageHandler& handler);
  // The highest stored upstream id; the saved counter. 0 when there is none or on error.
  int64_t queryHighestRmqId();
  int64_t queryLastRmqId();
  bool updateLastOutgoingRmqId(int64_t rmqId);

  // Deletes the rows of the ids in batches of at most 100; ids are bound as text for the tables of
  // downstream and sync ids, as 64-bit integers (the text's value) for the others. Answers the
  // rows deleted, up to a failure.
  int32_t deleteMessagesFromTable(const std::string& table, const std::vector<std::string>& rmqIds);

  // Sync-message records. Failures give (when `error` is given) an error of the messaging domain
  // with the SQLite result as code and a user-info "error" text.
  std::optional<ZCMPersistentSyncMessage> querySyncMessageWithRmqID(const std::string& rmqID);
  bool saveSyncMessageWithRmqID(const std::string& rmqID, int64_t expirationTime, bool apnsReceived,
                                bool mcsReceived, std::optional<platform::Error>* error);
  bool updateSyncMessageViaAPNSWithRmqID(const std::string& rmqID,
                                         std::optional<platform::Error>* error);
  bool updateSyncMessageViaMCSWithRmqID(const std::string& rmqID,
                                        std::optional<platform::Error>* error);
  bool deleteSyncMessageWithRmqID(const std::string& rmqID);
  // Records past their expiry and records seen through both roads; the count, or 0 with `error`.
  int deleteExpiredOrFinishedSyncMessages(std::optional<platform::Error>* error);

  int lastErrorCode() const;
  std::string lastErrorMessage() const;

 private:
  void openDatabase();
  bool openAndCreateTables(const std::filesystem::path& path, bool existed);
  bool createTableWithName(const char* name, const char* columns);
  void dropTableWithName(const char* name);
  bool updateSyncMessageWithRmqID(const std::string& rmqID, const char* column,
                                  std::optional<platform::Error>* error);
  int64_t queryFirstRmqId(const char* table);

  // A prepared statement with the values bound in order; null (logged) on failure.
  using Binding = std::variant<int64_t, std::string_view>;
  ZCMSQLiteStatement prepare(const std::string& sql, std::initializer_list<Binding> values = {});
  // Steps to the end; false (logged) unless it ends with "done".
  bool stepToDone(sqlite3_stmt* statement);
  void logError() const;

  std::string databaseName_;
  ZCMSQLiteDatabase database_;
};
