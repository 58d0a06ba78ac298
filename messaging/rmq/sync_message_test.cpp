#include <gtest/gtest.h>
#include <sqlite3.h>

#include "messaging/rmq/zcm_sync_message_manager.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Dictionary;
using platform::Value;

class SyncMessageTest : public ::testing::Test {
 protected:
  static Dictionary message(const std::string& id) {
    return Dictionary{{"zcm.message_id", Value(id)}, {"data", Value("x")}};
  }

  platform::testing::TestApp app_;
  platform::ManualClock clock_;
  std::shared_ptr<ZCMRmqManager> rmq_ = std::make_shared<ZCMRmqManager>("rmq2");
  ZCMSyncMessageManager manager_{rmq_};
};

TEST_F(SyncMessageTest, PushThenConnectionIsOneDeliveryAndTheRecordGoes) {
  ZCMLogRecorder recorder;
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(message("m1")));
  EXPECT_TRUE(recorder.contains("Added sync message to cache: m1", kZTMLoggerLevelInfo));
  EXPECT_TRUE(manager_.didReceiveMCSSyncMessage(message("m1")));
  EXPECT_FALSE(rmq_->querySyncMessageWithRmqID("m1"));
  EXPECT_TRUE(
      recorder.contains("Successfully deleted sync message from cache m1", kZTMLoggerLevelInfo));

  // The other order works alike.
  EXPECT_FALSE(manager_.didReceiveMCSSyncMessage(message("m2")));
  EXPECT_TRUE(manager_.didReceiveAPNSSyncMessage(message("m2")));
  EXPECT_FALSE(rmq_->querySyncMessageWithRmqID("m2"));
}

TEST_F(SyncMessageTest, ARepeatThroughTheSameRoadIsADuplicateAndTheRecordStays) {
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(message("m1")));
  EXPECT_TRUE(manager_.didReceiveAPNSSyncMessage(message("m1")));
  std::optional<ZCMPersistentSyncMessage> record = rmq_->querySyncMessageWithRmqID("m1");
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->apnsReceived());
  EXPECT_FALSE(record->mcsReceived());
  // Quotes in the id change nothing.
  EXPECT_FALSE(manager_.didReceiveMCSSyncMessage(message("it's")));
  EXPECT_TRUE(manager_.didReceiveMCSSyncMessage(message("it's")));
}

TEST_F(SyncMessageTest, RecordsExpireAfterTheirTimeToLive) {
  const int64_t now = static_cast<int64_t>(platform::now().secondsSince1970);
  EXPECT_EQ(ZCMSyncMessageManager::expirationTimeForSyncMessage(message("a")), now + 2419200);
  Dictionary withTtl = message("b");
  withTtl.set("zcm.ttl", Value("60"));
  EXPECT_EQ(ZCMSyncMessageManager::expirationTimeForSyncMessage(withTtl), now + 60);
  withTtl.set("zcm.ttl", Value(int64_t{INT64_MAX}));
  EXPECT_EQ(ZCMSyncMessageManager::expirationTimeForSyncMessage(withTtl), INT64_MAX);

  withTtl.set("zcm.ttl", Value(60));
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(withTtl));
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(message("a")));
  ZCMLogRecorder recorder;
  clock_.advanceSeconds(61);
  manager_.removeExpiredSyncMessages();
  EXPECT_TRUE(
      recorder.contains("Successfully deleted 1 sync messages from store", kZTMLoggerLevelInfo));
  EXPECT_FALSE(rmq_->querySyncMessageWithRmqID("b"));
  EXPECT_FALSE(manager_.didReceiveMCSSyncMessage(withTtl)) << "expired: counts as new again";
  EXPECT_TRUE(manager_.didReceiveMCSSyncMessage(message("a")));
}

TEST_F(SyncMessageTest, AMessageWithoutAnIdIsNeverADuplicate) {
  ZCMLogRecorder recorder;
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(Dictionary{{"data", Value("x")}}));
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(message("")));
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(Dictionary{{"zcm.message_id", Value(5)}}));
  EXPECT_EQ(recorder.count("Invalid nil rmqID for sync message.", kZTMLoggerLevelError), 3u);
}

TEST_F(SyncMessageTest, AnArrivalThatCannotBeRecordedIsNeverADuplicate) {
  ZCMLogRecorder recorder;
  // The records' table is gone from under the store: saving fails, each arrival counts as new.
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(ZCMRmq2PersistentStore::pathForDatabase("rmq2").c_str(), &database),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(database, "DROP TABLE incomingSyncMessages", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(database);
  EXPECT_FALSE(manager_.didReceiveAPNSSyncMessage(message("m1")));
  EXPECT_FALSE(manager_.didReceiveMCSSyncMessage(message("m1")));
  EXPECT_EQ(recorder.count("Failed to save sync message with rmqID m1", kZTMLoggerLevelError), 2u);

  // No room for records (the free space can't even be read): nothing is stored.
  std::filesystem::remove_all(app_.appHome());
  platform::FileManager::writeAtomically(app_.appHome(), platform::bytesOf("x")).value();
  ZCMSyncMessageManager full(std::make_shared<ZCMRmqManager>("rmq2"));
  EXPECT_FALSE(full.didReceiveAPNSSyncMessage(message("m2")));
  EXPECT_FALSE(full.didReceiveAPNSSyncMessage(message("m2")));
  EXPECT_EQ(recorder.count("Failed to save sync message with rmqID m2", kZTMLoggerLevelError), 0u);
}

TEST(PersistentSyncMessageTest, DescriptionShowsTheFlagsAndTheExpiry) {
  ZCMPersistentSyncMessage record("m1", 1456927387);
  record.setApnsReceived(true);
  EXPECT_EQ(record.description(),
            "ZCMPersistentSyncMessage: (rmqID: m1, apns: 1, mcs: 0, expiry: 2016-03-02 14:03:07 "
            "+0000");
  EXPECT_EQ(record.debugDescription(), record.description());
}

}  // namespace
