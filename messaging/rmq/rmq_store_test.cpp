#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/test_app.h"

namespace {

DudevDataMessageStanza upstreamMessage(const std::string& body) {
  DudevDataMessageStanza stanza;
  stanza.set_from("com.example.app");
  stanza.set_category("com.example.app");
  stanza.set_to("sender@example.test");
  stanza.set_raw_data(body);
  return stanza;
}

std::vector<int64_t> storedIds(ZCMRmqManager& manager) {
  std::vector<int64_t> ids;
  manager.scanWithRmqMessageHandler(
      [&](int64_t rmqId, int8_t, const std::string&) { ids.push_back(rmqId); }, nullptr);
  return ids;
}

// Runs one statement on the database file, beside the store.
void execute(const std::filesystem::path& path, const char* sql) {
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(database, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(database);
}

std::set<std::string> tableNames(const std::filesystem::path& path) {
  std::set<std::string> names;
  sqlite3* database = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
  sqlite3_exec(
      database, "SELECT name FROM sqlite_master WHERE type = 'table'",
      [](void* out, int, char** values, char**) {
        static_cast<std::set<std::string>*>(out)->insert(values[0]);
        return 0;
      },
      &names, nullptr);
  sqlite3_close(database);
  return names;
}

class RmqStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path databasePath() const {
    return ZCMRmq2PersistentStore::pathForDatabase("rmq2");
  }

  platform::testing::TestApp app_;
};

TEST_F(RmqStoreTest, UpstreamMessagesGetIdsFromTwoAndAreScannedBack) {
  ZCMRmqManager manager("rmq2");
  EXPECT_EQ(databasePath().filename(), "rmq2.sqlite");
  EXPECT_TRUE(platform::FileManager::fileExists(databasePath()));
  manager.loadRmqId();
  EXPECT_EQ(manager.rmqId(), 1);

  DudevDataMessageStanza first = upstreamMessage("one");
  std::optional<platform::Error> error;
  ASSERT_TRUE(manager.saveRmqMessage(first, &error));
  EXPECT_EQ(first.persistent_id(), "2") << "a new installation starts at 2";
  DudevDataMessageStanza second = upstreamMessage("two");
  ASSERT_TRUE(manager.saveRmqMessage(second, &error));
  EXPECT_EQ(second.persistent_id(), "3");
  DudevDataMessageStanza withId = upstreamMessage("kept");
  withId.set_persistent_id("40");
  ASSERT_TRUE(manager.saveRmqMessage(withId, &error));
  EXPECT_EQ(withId.persistent_id(), "40");
  DudevIqStanza iq;
  iq.set_type(DudevIqStanza::IQ_TYPE_0);
  iq.set_id("q");
  ASSERT_TRUE(manager.saveRmqMessage(iq, &error));
  EXPECT_EQ(iq.persistent_id(), "4");

  std::vector<std::tuple<int64_t, int8_t, std::string>> rows;
  std::vector<std::pair<int64_t, std::string>> stanzas;
  manager.scanWithRmqMessageHandler(
      [&](int64_t id, int8_t tag, const std::string& data) { rows.emplace_back(id, tag, data); },
      [&](int64_t id, const DudevDataMessageStanza& stanza) {
        stanzas.emplace_back(id, stanza.raw_data());
      });
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(std::get<0>(rows[0]), 2);
  EXPECT_EQ(std::get<1>(rows[0]), kZCMTagDataMessageStanza);
  EXPECT_EQ(std::get<2>(rows[0]), first.SerializeAsString());
  EXPECT_EQ(std::get<0>(rows[2]), 4);
  EXPECT_EQ(std::get<1>(rows[2]), kZCMTagIqStanza);
  EXPECT_EQ(stanzas,
            (std::vector<std::pair<int64_t, std::string>>{{2, "one"}, {3, "two"}, {40, "kept"}}));
  EXPECT_EQ(manager.queryHighestRmqId(), 40);
}

TEST_F(RmqStoreTest, TheCounterContinuesAfterEveryMessageWasConfirmed) {
  {
    ZCMRmqManager manager("rmq2");
    manager.loadRmqId();
    for (const char* body : {"a", "b", "c"}) {
      DudevDataMessageStanza message = upstreamMessage(body);
      ASSERT_TRUE(manager.saveRmqMessage(message, nullptr));
    }
    EXPECT_EQ(manager.removeRmqMessagesWithRmqIds({"2", "3"}), 2);
    EXPECT_EQ(manager.removeRmqMessagesWithRmqId("4"), 1);
    EXPECT_EQ(manager.removeRmqMessagesWithRmqIds({}), 0);
    EXPECT_TRUE(storedIds(manager).empty());
    EXPECT_EQ(manager.querylastRmqId(), 5);
  }
  ZCMRmqManager reopened("rmq2");
  reopened.loadRmqId();
  EXPECT_EQ(reopened.nextRmqId(), 7) << "not 2 again: ids already used are never reused";
}

TEST_F(RmqStoreTest, BatchedDeletesRemoveEveryListedRow) {
  ZCMRmqManager manager("rmq2");
  manager.loadRmqId();
  std::vector<std::string> ids;
  for (int i = 0; i < 260; ++i) {
    DudevDataMessageStanza message = upstreamMessage("m");
    ASSERT_TRUE(manager.saveRmqMessage(message, nullptr));
    ids.push_back(message.persistent_id());
  }
  // 250 ids, some of them unknown, go in statements of 100, 100 and 50 conditions.
  std::vector<std::string> toRemove(ids.begin(), ids.begin() + 245);
  for (const char* unknown : {"9000", "9001", "x", "", "-1"}) toRemove.emplace_back(unknown);
  EXPECT_EQ(manager.removeRmqMessagesWithRmqIds(toRemove), 245);
  std::vector<int64_t> left = storedIds(manager);
  ASSERT_EQ(left.size(), 15u);
  EXPECT_EQ(std::to_string(left.front()), ids[245]);

  std::vector<std::string> s2d;
  for (int i = 0; i < 230; ++i) {
    s2d.push_back("0:" + std::to_string(i));
    ASSERT_TRUE(manager.saveS2dMessageWithRmqId(s2d.back()));
  }
  manager.removeS2dIds(std::vector<std::string>(s2d.begin(), s2d.begin() + 229));
  EXPECT_EQ(manager.unackedS2dRmqIds(), std::vector<std::string>{"0:229"});
}

TEST_F(RmqStoreTest, EverythingSurvivesReopeningAndHostileIdsAreStoredAndFound) {
  const std::vector<std::string> hostile = {"it's", "'; DROP TABLE incomingSyncMessages; --",
                                            "a\"b", "x' OR '1'='1", "0:1%_"};
  {
    ZCMRmqManager manager("rmq2");
    manager.loadRmqId();
    DudevDataMessageStanza message = upstreamMessage("payload");
    ASSERT_TRUE(manager.saveRmqMessage(message, nullptr));
    for (const std::string& id : hostile) {
      ASSERT_TRUE(manager.saveS2dMessageWithRmqId(id));
      ASSERT_TRUE(manager.saveSyncMessageWithRmqID(id, 4'000'000'000, true, false, nullptr));
    }
    manager.saveLastOutgoingRmqId(77);
  }
  ZCMRmqManager reopened("rmq2");
  EXPECT_EQ(storedIds(reopened), std::vector<int64_t>{2});
  EXPECT_EQ(reopened.querylastRmqId(), 77);
  std::vector<std::string> sorted = hostile;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(reopened.unackedS2dRmqIds(), sorted);
  for (const std::string& id : hostile) {
    std::optional<ZCMPersistentSyncMessage> record = reopened.querySyncMessageWithRmqID(id);
    ASSERT_TRUE(record) << id;
    EXPECT_EQ(record->rmqID(), id);
    EXPECT_TRUE(record->apnsReceived());
    EXPECT_FALSE(record->mcsReceived());
  }
  EXPECT_FALSE(reopened.querySyncMessageWithRmqID("it"));
  EXPECT_TRUE(reopened.deleteSyncMessageWithRmqID("x' OR '1'='1"));
  EXPECT_FALSE(reopened.querySyncMessageWithRmqID("x' OR '1'='1"));
  EXPECT_TRUE(reopened.querySyncMessageWithRmqID("it's")) << "only the one row went";
}

TEST_F(RmqStoreTest, SyncRecordsAreUpdatedAndPurged) {
  platform::ManualClock clock;
  const int64_t now = static_cast<int64_t>(platform::now().secondsSince1970);
  ZCMRmqManager manager("rmq2");
  ASSERT_TRUE(manager.saveSyncMessageWithRmqID("expired", now - 1, true, false, nullptr));
  ASSERT_TRUE(manager.saveSyncMessageWithRmqID("both", now + 100, false, false, nullptr));
  ASSERT_TRUE(manager.saveSyncMessageWithRmqID("live", now + 100, false, true, nullptr));
  ASSERT_TRUE(manager.saveSyncMessageWithRmqID("now", now, false, false, nullptr));
  ASSERT_TRUE(manager.updateSyncMessageViaAPNSWithRmqID("both", nullptr));
  ASSERT_TRUE(manager.updateSyncMessageViaMCSWithRmqID("both", nullptr));
  std::optional<ZCMPersistentSyncMessage> both = manager.querySyncMessageWithRmqID("both");
  ASSERT_TRUE(both);
  EXPECT_TRUE(both->apnsReceived() && both->mcsReceived());
  EXPECT_EQ(both->expirationTime(), now + 100);

  std::optional<platform::Error> error;
  EXPECT_EQ(manager.deleteExpiredOrFinishedSyncMessages(&error), 2);
  EXPECT_FALSE(error);
  EXPECT_FALSE(manager.querySyncMessageWithRmqID("expired"));
  EXPECT_FALSE(manager.querySyncMessageWithRmqID("both"));
  EXPECT_TRUE(manager.querySyncMessageWithRmqID("live"));
  EXPECT_TRUE(manager.querySyncMessageWithRmqID("now")) << "expires after its second";

  clock.advanceSeconds(101);
  EXPECT_EQ(manager.deleteExpiredOrFinishedSyncMessages(&error), 2);
}

TEST_F(RmqStoreTest, AnOlderDatabaseLosesItsIntegerIdTable) {
  platform::AppHome::documents();
  execute(
      databasePath(),
      "CREATE TABLE outgoingRmqMessages (_id INTEGER PRIMARY KEY, rmq_id INTEGER, type "
      "INTEGER, ts INTEGER, data BLOB); CREATE TABLE lastrmqid (_id INTEGER PRIMARY KEY, rmq_id "
      "INTEGER); CREATE TABLE s2dRmqIds (_id INTEGER PRIMARY KEY, rmq_id INTEGER); INSERT INTO "
      "lastrmqid VALUES (1, 30);");
  ZCMRmqManager manager("rmq2");
  EXPECT_EQ(tableNames(databasePath()),
            (std::set<std::string>{"outgoingRmqMessages", "lastrmqid", "s2dRmqIds_1",
                                   "incomingSyncMessages"}));
  manager.loadRmqId();
  EXPECT_EQ(manager.nextRmqId(), 32);
}

TEST_F(RmqStoreTest, ADatabaseMissingTablesGetsThem) {
  platform::AppHome::documents();
  execute(databasePath(), "CREATE TABLE unrelated (x INTEGER);");
  ZCMRmqManager manager("rmq2");
  DudevDataMessageStanza message = upstreamMessage("m");
  EXPECT_TRUE(manager.saveRmqMessage(message, nullptr));
  EXPECT_EQ(storedIds(manager).size(), 1u);
}

TEST_F(RmqStoreTest, ADamagedFileIsReplacedAndWhatIsWrittenAfterwardsIsKept) {
  ZCMLogRecorder recorder;
  platform::FileManager::writeAtomically(databasePath(), platform::bytesOf(std::string(4096, 'G')))
      .value();
  {
    ZCMRmqManager manager("rmq2");
    ASSERT_TRUE(manager.rmq2Store().isOpen());
    DudevDataMessageStanza message = upstreamMessage("after");
    ASSERT_TRUE(manager.saveRmqMessage(message, nullptr));
    ASSERT_TRUE(manager.saveS2dMessageWithRmqId("0:9"));
  }
  EXPECT_TRUE(recorder.contains("ZCMRmqStore: error: code (26) message: file is not a database",
                                kZTMLoggerLevelError));
  ZCMRmqManager reopened("rmq2");
  EXPECT_EQ(storedIds(reopened).size(), 1u) << "written to the new file, not a deleted one";
  EXPECT_EQ(reopened.unackedS2dRmqIds(), std::vector<std::string>{"0:9"});
}

TEST_F(RmqStoreTest, AStoreThatCannotOpenFailsEveryOperation) {
  ZCMLogRecorder recorder;
  // The app home is a file, so the documents folder and the database can't be made.
  std::filesystem::remove_all(app_.appHome());
  platform::FileManager::writeAtomically(app_.appHome(), platform::bytesOf("x")).value();
  ZCMRmqManager manager("rmq2");
  EXPECT_FALSE(manager.rmq2Store().isOpen());
  DudevDataMessageStanza message = upstreamMessage("m");
  std::optional<platform::Error> error;
  EXPECT_FALSE(manager.saveRmqMessage(message, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), SQLITE_CANTOPEN);
  EXPECT_FALSE(manager.saveS2dMessageWithRmqId("1"));
  EXPECT_TRUE(manager.unackedS2dRmqIds().empty());
  EXPECT_EQ(manager.removeRmqMessagesWithRmqIds({"2"}), 0);
  error.reset();
  EXPECT_FALSE(manager.saveSyncMessageWithRmqID("s", 1, true, false, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "com.zorova.zcm");
  EXPECT_EQ(error->userInfo()["error"], platform::Value("Failed to save sync message to store."));
  EXPECT_EQ(manager.deleteExpiredOrFinishedSyncMessages(&error), 0);
  EXPECT_FALSE(manager.querySyncMessageWithRmqID("s"));
}

}  // namespace
