#include "messaging/rmq/zcm_rmq2_persistent_store.h"

#include <algorithm>

#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "platform/foundation/log.h"
#include "platform/foundation/text_number.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

namespace {

constexpr const char* kColumnRmqId = "rmq_id";
constexpr size_t kDeleteBatchSize = 100;

constexpr const char* kOutgoingColumns =
    "(_id INTEGER PRIMARY KEY, rmq_id INTEGER, type INTEGER, ts INTEGER, data BLOB)";
constexpr const char* kLastRmqIdColumns = "(_id INTEGER PRIMARY KEY, rmq_id INTEGER)";
constexpr const char* kS2dColumns = "(_id INTEGER PRIMARY KEY, rmq_id TEXT)";
constexpr const char* kSyncColumns =
    "(_id INTEGER PRIMARY KEY, rmq_id TEXT, expiration_ts INTEGER, apns_recv INTEGER, mcs_recv "
    "INTEGER)";

// Files SQLite keeps beside a database; a new database must not inherit an old journal.
constexpr const char* kCompanionSuffixes[] = {"", "-journal", "-wal", "-shm"};

platform::Error syncError(int code, const char* text) {
  return zcm_errorWithCode(code, platform::Value(platform::Dictionary{{"error", text}}));
}

}  // namespace

ZCMRmq2PersistentStore::ZCMRmq2PersistentStore(std::string databaseName)
    : databaseName_(std::move(databaseName)) {
  openDatabase();
}

std::filesystem::path ZCMRmq2PersistentStore::pathForDatabase(const std::string& databaseName) {
  return platform::AppHome::documents() / (databaseName + ".sqlite");
}

void ZCMRmq2PersistentStore::removeDatabase(const std::string& databaseName) {
  (void)platform::FileManager::removeItem(pathForDatabase(databaseName));
}

void ZCMRmq2PersistentStore::openDatabase() {
  const std::filesystem::path path = pathForDatabase(databaseName_);
  if (openAndCreateTables(path, platform::FileManager::fileExists(path))) return;
  // The tables can't be made in this file (it is damaged, or not a database): start a new one.
  // The handle is closed first, so that nothing is written to a file already deleted.
  database_.reset();
  for (const char* suffix : kCompanionSuffixes) {
    (void)platform::FileManager::removeItem(path.string() + suffix);
  }
  if (openAndCreateTables(path, false)) return;
  database_.reset();
  ZCM_LOG_ERROR("ZCMRmqStore: cannot open the database %s", path.c_str());
}

bool ZCMRmq2PersistentStore::openAndCreateTables(const std::filesystem::path& path, bool existed) {
  sqlite3* handle = nullptr;
  const int result =
      sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  database_.reset(handle);
  if (result != SQLITE_OK) {
    logError();
    return false;
  }
  // Every table is made when missing, also in an existing file: one left without them (the app
  // ended between making the file and its tables) would otherwise fail every operation for good.
  if (!createTableWithName(kTableOutgoingRmqMessages, kOutgoingColumns) ||
      !createTableWithName(kTableLastRmqId, kLastRmqIdColumns) ||
      !createTableWithName(kTableS2dRmqIds, kS2dColumns) ||
      !createTableWithName(kTableIncomingSyncMessages, kSyncColumns)) {
    return false;
  }
  // Downstream ids are kept as text now; the older table of integer ids goes.
  if (existed) dropTableWithName(kTableOldS2dRmqIds);
  return true;
}

bool ZCMRmq2PersistentStore::createTableWithName(const char* name, const char* columns) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("create TABLE IF NOT EXISTS %s%s %s", "", name, columns));
  return statement && stepToDone(statement.get());
}

void ZCMRmq2PersistentStore::dropTableWithName(const char* name) {
  ZCMSQLiteStatement statement = prepare(platform::format("drop TABLE if exists %s%s", "", name));
  if (!statement || !stepToDone(statement.get())) {
    ZCM_LOG_ERROR("Failed to remove table %s", name);
  }
}

ZCMSQLiteStatement ZCMRmq2PersistentStore::prepare(const std::string& sql,
                                                   std::initializer_list<Binding> values) {
  if (!database_) return nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(database_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    logError();
    return nullptr;
  }
  ZCMSQLiteStatement statement(raw);
  int index = 1;
  for (const Binding& value : values) {
    const int result = std::visit(
        [&](const auto& bound) {
          if constexpr (std::is_same_v<std::decay_t<decltype(bound)>, int64_t>) {
            return sqlite3_bind_int64(raw, index, bound);
          } else {
            return sqlite3_bind_text(raw, index, bound.data(), static_cast<int>(bound.size()),
                                     SQLITE_TRANSIENT);
          }
        },
        value);
    if (result != SQLITE_OK) {
      logError();
      return nullptr;
    }
    ++index;
  }
  return statement;
}

bool ZCMRmq2PersistentStore::stepToDone(sqlite3_stmt* statement) {
  if (sqlite3_step(statement) == SQLITE_DONE) return true;
  logError();
  return false;
}

int ZCMRmq2PersistentStore::lastErrorCode() const {
  return database_ ? sqlite3_errcode(database_.get()) : SQLITE_CANTOPEN;
}

std::string ZCMRmq2PersistentStore::lastErrorMessage() const {
  return database_ ? sqlite3_errmsg(database_.get()) : sqlite3_errstr(SQLITE_CANTOPEN);
}

void ZCMRmq2PersistentStore::logError() const {
  ZCM_LOG_ERROR("%s error: code (%d) message: %s", "ZCMRmqStore:", lastErrorCode(),
                lastErrorMessage().c_str());
}

bool ZCMRmq2PersistentStore::saveUnackedS2dMessageWithRmqId(const std::string& rmqId) {
  ZCMSQLiteStatement statement = prepare(
      platform::format("INSERT INTO %s (%s) VALUES (?)", kTableS2dRmqIds, kColumnRmqId), {rmqId});
  return statement && stepToDone(statement.get());
}

std::vector<std::string> ZCMRmq2PersistentStore::unackedS2dRmqIds() {
  std::vector<std::string> ids;
  ZCMSQLiteStatement statement = prepare(platform::format(
      "SELECT %s FROM %s ORDER BY %s ASC", kColumnRmqId, kTableS2dRmqIds, kColumnRmqId));
  if (!statement) return ids;
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
    ids.emplace_back(text ? text : "");
  }
  if (result != SQLITE_DONE) {
    logError();
    return {};
  }
  return ids;
}

bool ZCMRmq2PersistentStore::saveMessageWithRmqId(int64_t rmqId, int8_t tag, std::string_view data,
                                                  std::optional<platform::Error>* error) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("INSERT INTO %s (%s, %s, %s) VALUES (?, ?, ?)",
                               kTableOutgoingRmqMessages, kColumnRmqId, "type", "data"),
              {rmqId, int64_t{tag}});
  bool saved = false;
  if (statement) {
    // Bound as a blob, which the text bindings of prepare() don't make.
    if (sqlite3_bind_blob64(statement.get(), 3, data.data(), data.size(), SQLITE_TRANSIENT) ==
        SQLITE_OK) {
      saved = stepToDone(statement.get());
    } else {
      logError();
    }
  }
  if (!saved && error) *error = platform::Error(lastErrorMessage(), lastErrorCode());
  return saved;
}

void ZCMRmq2PersistentStore::scanOutgoingRmqMessagesWithHandler(
    const OutgoingMessageHandler& handler) {
  ZCMSQLiteStatement statement = prepare(
      platform::format("SELECT %s FROM %s WHERE %s != 0 ORDER BY %s ASC", "rmq_id, type, data",
                       kTableOutgoingRmqMessages, kColumnRmqId, kColumnRmqId));
  if (!statement) return;
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement.get(), 2));
    const std::string data(bytes ? bytes : "", sqlite3_column_bytes(statement.get(), 2));
    handler(sqlite3_column_int64(statement.get(), 0),
            static_cast<int8_t>(sqlite3_column_int(statement.get(), 1)), data);
  }
  if (result != SQLITE_DONE) logError();
}

int64_t ZCMRmq2PersistentStore::queryFirstRmqId(const char* table) {
  ZCMSQLiteStatement statement = prepare(platform::format(
      "SELECT %s FROM %s ORDER BY %s DESC LIMIT %d", kColumnRmqId, table, kColumnRmqId, 1));
  if (!statement) return 0;
  const int result = sqlite3_step(statement.get());
  if (result == SQLITE_ROW) return sqlite3_column_int64(statement.get(), 0);
  if (result != SQLITE_DONE) logError();
  return 0;
}

int64_t ZCMRmq2PersistentStore::queryHighestRmqId() {
  return queryFirstRmqId(kTableOutgoingRmqMessages);
}

int64_t ZCMRmq2PersistentStore::queryLastRmqId() { return queryFirstRmqId(kTableLastRmqId); }

bool ZCMRmq2PersistentStore::updateLastOutgoingRmqId(int64_t rmqId) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("INSERT OR REPLACE INTO %s (%s, %s) VALUES (?, ?)", kTableLastRmqId,
                               "_id", kColumnRmqId),
              {int64_t{1}, rmqId});
  return statement && stepToDone(statement.get());
}

int32_t ZCMRmq2PersistentStore::deleteMessagesFromTable(const std::string& table,
                                                        const std::vector<std::string>& rmqIds) {
  const bool idsAreText = table == kTableS2dRmqIds || table == kTableIncomingSyncMessages;
  int32_t deleted = 0;
  for (size_t start = 0; start < rmqIds.size(); start += kDeleteBatchSize) {
    const size_t count = std::min(kDeleteBatchSize, rmqIds.size() - start);
    std::string sql = platform::format("DELETE FROM %s WHERE ", table.c_str());
    for (size_t i = 0; i < count; ++i) {
      sql += platform::format(" %s = ? OR", kColumnRmqId);
    }
    sql.resize(sql.size() - 3);  // the final " OR"
    ZCMSQLiteStatement statement = prepare(sql);
    if (!statement) return deleted;
    for (size_t i = 0; i < count; ++i) {
      const std::string& id = rmqIds[start + i];
      const int index = static_cast<int>(i) + 1;
      const int result =
          idsAreText ? sqlite3_bind_text(statement.get(), index, id.data(),
                                         static_cast<int>(id.size()), SQLITE_TRANSIENT)
                     : sqlite3_bind_int64(statement.get(), index, platform::integerValueOfText(id));
      if (result != SQLITE_OK) {
        logError();
        return deleted;
      }
    }
    if (!stepToDone(statement.get())) return deleted;
    deleted += sqlite3_changes(database_.get());
  }
  return deleted;
}

std::optional<ZCMPersistentSyncMessage> ZCMRmq2PersistentStore::querySyncMessageWithRmqID(
    const std::string& rmqID) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("SELECT %s FROM %s WHERE %s = ?",
                               "rmq_id, expiration_ts, apns_recv, mcs_recv",
                               kTableIncomingSyncMessages, kColumnRmqId),
              {rmqID});
  if (!statement) return std::nullopt;
  std::optional<ZCMPersistentSyncMessage> message;
  int result = SQLITE_ROW;
  // The last matching row wins.
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    const auto* id = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
    message.emplace(id ? id : "", sqlite3_column_int64(statement.get(), 1));
    message->setApnsReceived(sqlite3_column_int64(statement.get(), 2) != 0);
    message->setMcsReceived(sqlite3_column_int64(statement.get(), 3) != 0);
  }
  if (result != SQLITE_DONE) logError();
  return message;
}

bool ZCMRmq2PersistentStore::saveSyncMessageWithRmqID(const std::string& rmqID,
                                                      int64_t expirationTime, bool apnsReceived,
                                                      bool mcsReceived,
                                                      std::optional<platform::Error>* error) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("INSERT INTO %s (%s, %s, %s, %s) VALUES (?, ?, ?, ?)",
                               kTableIncomingSyncMessages, kColumnRmqId, "expiration_ts",
                               "apns_recv", "mcs_recv"),
              {rmqID, expirationTime, int64_t{apnsReceived}, int64_t{mcsReceived}});
  if (statement && stepToDone(statement.get())) return true;
  if (error) *error = syncError(lastErrorCode(), "Failed to save sync message to store.");
  return false;
}

bool ZCMRmq2PersistentStore::updateSyncMessageViaAPNSWithRmqID(
    const std::string& rmqID, std::optional<platform::Error>* error) {
  return updateSyncMessageWithRmqID(rmqID, "apns_recv", error);
}

bool ZCMRmq2PersistentStore::updateSyncMessageViaMCSWithRmqID(
    const std::string& rmqID, std::optional<platform::Error>* error) {
  return updateSyncMessageWithRmqID(rmqID, "mcs_recv", error);
}

bool ZCMRmq2PersistentStore::updateSyncMessageWithRmqID(const std::string& rmqID,
                                                        const char* column,
                                                        std::optional<platform::Error>* error) {
  ZCMSQLiteStatement statement =
      prepare(platform::format("UPDATE %s SET %s = ? WHERE %s = ?", kTableIncomingSyncMessages,
                               column, kColumnRmqId),
              {int64_t{1}, rmqID});
  if (statement && stepToDone(statement.get())) return true;
  if (error) *error = syncError(lastErrorCode(), "Failed to update sync message");
  return false;
}

bool ZCMRmq2PersistentStore::deleteSyncMessageWithRmqID(const std::string& rmqID) {
  return deleteMessagesFromTable(kTableIncomingSyncMessages, {rmqID}) > 0;
}

int ZCMRmq2PersistentStore::deleteExpiredOrFinishedSyncMessages(
    std::optional<platform::Error>* error) {
  ZCMSQLiteStatement statement = prepare(
      platform::format("DELETE FROM %s WHERE %s < ? OR (%s = 1 AND %s = 1)",
                       kTableIncomingSyncMessages, "expiration_ts", "apns_recv", "mcs_recv"),
      {ZCMCurrentTimestampInSeconds()});
  if (statement && stepToDone(statement.get())) return sqlite3_changes(database_.get());
  if (error) {
    *error = syncError(lastErrorCode(), "Failed to save delete expired sync messages from store.");
  }
  return 0;
}
