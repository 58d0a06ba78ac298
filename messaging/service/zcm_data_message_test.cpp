#include <gtest/gtest.h>

#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/service/zcm_client.h"
#include "messaging/service/zcm_data_message_manager.h"
#include "messaging/service/zcm_delayed_message_queue.h"
#include "messaging/service/zcm_receiver.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "messaging/testing/zcm_test_server.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/remote_notifications.h"

namespace {

using platform::Dictionary;
using platform::Value;

class RecordingDelegate final : public ZCMDataMessageManagerDelegate {
 public:
  void didReceiveMessage(const Dictionary& message) override { received.push_back(message); }
  void willSendDataMessageWithID(const std::string& id,
                                 const std::optional<platform::Error>& error) override {
    willSend.emplace_back(id, error ? error->code() : 0);
  }
  void didSendDataMessageWithID(const std::string& id) override { didSend.push_back(id); }
  void didDeleteMessagesOnServer() override { ++deleted; }

  std::vector<Dictionary> received;
  std::vector<std::pair<std::string, int64_t>> willSend;
  std::vector<std::string> didSend;
  int deleted = 0;
};

DudevDataMessageStanza stanzaWith(std::vector<std::pair<std::string, std::string>> appData) {
  return ZCMTestDataMessage("sender", "com.example.app", "", appData);
}

class ZCMDataMessageTest : public ::testing::Test {
 protected:
  ZCMDataMessageTest() {
    manager->refreshDelayedMessages();
    manager->setDeviceAuthID("1", "secret");
  }

  // The stored upstream stanzas, in id order.
  std::vector<DudevDataMessageStanza> stored() const {
    std::vector<DudevDataMessageStanza> found;
    store->scanWithRmqMessageHandler(
        nullptr, [&](int64_t, const DudevDataMessageStanza& stanza) { found.push_back(stanza); });
    return found;
  }
  void send(const std::string& id, int64_t ttl, int32_t delay, Dictionary data,
            const std::string& to = "dest") {
    Dictionary message{{"zorova.to", Value(to)},
                       {"zorova.msg_id", Value(id)},
                       {"zorova.ttl", Value(ttl)},
                       {"zorova.delay", Value(delay)},
                       {"zorova.data", Value(std::move(data))}};
    manager->sendDataMessageStanza(message);
    EXPECT_FALSE(message.contains("zorova.delay"));
  }

  platform::ManualClock clock;
  platform::testing::TestApp app{"com.example.app"};
  std::shared_ptr<ZCMRmqManager> store = std::make_shared<ZCMRmqManager>("rmq2");
  std::shared_ptr<ZCMSyncMessageManager> sync = std::make_shared<ZCMSyncMessageManager>(store);
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  // No client: nothing can go out, so what must survive stays in the store.
  std::shared_ptr<ZCMDataMessageManager> manager =
      std::make_shared<ZCMDataMessageManager>(delegate, std::weak_ptr<ZCMClient>(), store, sync);
};

TEST_F(ZCMDataMessageTest, DownstreamKeysAreSortedAndFiltered) {
  ZCMLogRecorder log;
  DudevDataMessageStanza stanza = stanzaWith({{"k", "v"},
                                              {"from", "spoofed"},
                                              {"ZOROVA.hidden", "x"},
                                              {"zorova.hidden", "x"},
                                              {"zcm.notification.body", "B"},
                                              {"zcm.notification.", "bad"},
                                              {"zcm.duplex", "no"},
                                              {"k", "later"}});
  stanza.set_token("collapse");
  stanza.set_raw_data("\x01\x02");
  stanza.set_persistent_id("p9");
  const Dictionary parsed = ZCMDataMessageManager::parseDataMessage(stanza);
  EXPECT_EQ(parsed, (Dictionary{{"from", Value("sender")},
                                {"rawData", Value(platform::Bytes{1, 2})},
                                {"collapse_key", Value("collapse")},
                                {"zcm.message_id", Value("p9")},
                                {"k", Value("later")},
                                {"notification", Value(Dictionary{{"body", Value("B")}})},
                                {"zcm.duplex", Value(false)}}));
  EXPECT_TRUE(log.contains("Invalid key in MCS message: zcm.notification.", kZTMLoggerLevelError));
  EXPECT_EQ(ZCMDataMessageManager::filterInternalZCMKeysFromMessage(parsed).keys(),
            (std::vector<std::string>{"from", "rawData", "collapse_key", "k", "notification"}));
}

TEST_F(ZCMDataMessageTest, TheClientsAndTheIdentityServicesOwnMessagesAreNotDelivered) {
  DudevDataMessageStanza internal = stanzaWith({{"k", "v"}});
  internal.set_category("com.zorova.zcm");
  EXPECT_FALSE(manager->processPacket(internal));
  DudevDataMessageStanza server = stanzaWith({{"k", "v"}});
  server.set_from(kZCMLoginDomain);
  EXPECT_FALSE(manager->processPacket(server));

  std::optional<Value> posted;
  platform::NotificationCenter::Observation observation =
      platform::NotificationCenter::defaultCenter().addObserver(
          kZCMIIDNotification, nullptr, [&](const platform::Notification& notification) {
            if (const Value* object = notification.objectAs<Value>()) posted = *object;
          });
  DudevDataMessageStanza command = stanzaWith({{"CMD", "SYNC"}});
  command.set_from(kZCMInstanceIDMessageOrigin);
  EXPECT_FALSE(manager->processPacket(command));
  EXPECT_EQ(posted, Value(Dictionary{{"CMD", Value("SYNC")}}));
  EXPECT_TRUE(manager->processPacket(stanzaWith({{"k", "v"}})));
}

TEST_F(ZCMDataMessageTest, MessageTypesAndDuplicates) {
  ZCMLogRecorder log;
  manager->didReceiveParsedMessage({{"message_type", Value("deleted_messages")}});
  EXPECT_EQ(delegate->deleted, 1);
  manager->didReceiveParsedMessage({{"message_type", Value("odd")}, {"k", Value("1")}});
  EXPECT_TRUE(log.contains("Invalid message type received: odd", kZTMLoggerLevelError));
  const Dictionary sync{{"zcm.message_id", Value("s1")}, {"zcm.duplex", Value(true)}};
  manager->didReceiveParsedMessage(sync);
  manager->didReceiveParsedMessage(sync);  // the second arrival by the connection is a repeat
  ASSERT_EQ(delegate->received.size(), 2u);
  EXPECT_EQ(delegate->received[0], (Dictionary{{"message_type", Value("odd")}, {"k", Value("1")}}));
  EXPECT_TRUE(delegate->received[1].empty());
}

TEST_F(ZCMDataMessageTest, SizesCountKeysAndValues) {
  ZCMLogRecorder log;
  const struct {
    Dictionary data;
    int32_t size;
    int appData;
  } cases[] = {
      {{{"a", Value("bc")}}, 3, 1},
      {{{"a", Value(12)}}, 3, 1},
      {{{"rawData", Value(platform::Bytes{1, 2, 3})}}, 3, 0},
      {{{"list", Value::array({Value("x")})}}, 0, 0},
      {{{"a", Value("b")}, {"cc", Value("dd")}}, 6, 2},
  };
  for (const auto& item : cases) {
    DudevDataMessageStanza stanza;
    EXPECT_EQ(ZCMDataMessageManager::addData(item.data, stanza), item.size);
    EXPECT_EQ(stanza.app_data_size(), item.appData);
  }
  EXPECT_TRUE(log.contains("Ignoring key: list", kZTMLoggerLevelError));
}

TEST_F(ZCMDataMessageTest, TimeToLiveAndDelayRules) {
  const struct {
    int64_t ttl;
    int32_t delay;
    int32_t storedTTL;
    int32_t storedDelay;  // 0: none
  } cases[] = {{-1, 0, 86400, 0},
               {86400, -1, 86400, 0},
               {86401, 1, 86400, 1},
               {600, 5000, 600, 3600},
               {1, 30, 1, 30}};
  for (const auto& item : cases) send("m", item.ttl, item.delay, {{"k", Value("v")}});
  const std::vector<DudevDataMessageStanza> messages = stored();
  ASSERT_EQ(messages.size(), std::size(cases));
  for (size_t index = 0; index < messages.size(); ++index) {
    EXPECT_EQ(messages[index].ttl(), cases[index].storedTTL) << index;
    EXPECT_EQ(messages[index].has_max_delay(), cases[index].storedDelay != 0) << index;
    EXPECT_EQ(messages[index].max_delay(), cases[index].storedDelay) << index;
    EXPECT_EQ(messages[index].sent(), ZCMCurrentTimestampInSeconds());
  }
  // A time to live of 0 is never stored, and with no connection it can't go.
  send("now", 0, 0, {{"k", Value("v")}});
  EXPECT_EQ(stored().size(), std::size(cases));
  EXPECT_EQ(delegate->willSend.back(),
            (std::pair<std::string, int64_t>{"now", kZCMErrorCodeNetwork}));
}

TEST_F(ZCMDataMessageTest, SendFailures) {
  std::string big(4096, 'x');
  send("big", 60, 0, {{"k", Value(big)}});
  send("noto", 60, 0, {{"k", Value("v")}}, "");
  manager->setDeviceAuthID("", "");
  send("out", 60, 0, {{"k", Value("v")}});
  EXPECT_EQ(delegate->willSend,
            (std::vector<std::pair<std::string, int64_t>>{{"big", kZCMErrorCodeSizeExceeded},
                                                          {"noto", kZCMErrorCodeMissingTo},
                                                          {"out", kZCMErrorCodeMissingCheckin}}));
  EXPECT_TRUE(stored().empty());
}

TEST_F(ZCMDataMessageTest, ExpiredStoredMessagesAreReported) {
  DudevDataMessageStanza stanza = stanzaWith({});
  stanza.set_id("old");
  stanza.set_ttl(60);
  stanza.set_sent(ZCMCurrentTimestampInSeconds());
  EXPECT_TRUE(manager->handleExpirationForDataMessage(stanza));
  clock.advanceSeconds(61);
  EXPECT_FALSE(manager->handleExpirationForDataMessage(stanza));
  stanza.set_ttl(0);
  EXPECT_FALSE(manager->handleExpirationForDataMessage(stanza));
  EXPECT_EQ(delegate->willSend, (std::vector<std::pair<std::string, int64_t>>{
                                    {"old", kZCMErrorCodeUpstreamTimeToLiveExceeded}}));
}

TEST_F(ZCMDataMessageTest, TheDelayedQueueHoldsTenInMemoryAndFiresAtTheEarliestTime) {
  std::vector<std::vector<std::string>> batches;
  const std::shared_ptr<ZCMDelayedMessageQueue> queue =
      ZCMDelayedMessageQueue::make(store, [&](std::vector<DudevDataMessageStanza> stanzas) {
        std::vector<std::string> ids;
        for (const DudevDataMessageStanza& stanza : stanzas) ids.push_back(stanza.id());
        batches.push_back(ids);
      });
  for (int index = 0; index < 11; ++index) {
    DudevDataMessageStanza stanza = stanzaWith({});
    stanza.set_id(std::to_string(index));
    stanza.set_ttl(0);
    stanza.set_max_delay(index == 4 ? 5 : 20);
    EXPECT_EQ(queue->queueMessage(stanza), index < 10) << index;
  }
  EXPECT_EQ(queue->messageCount(), 10);
  clock.advanceSeconds(4);
  platform::testing::drainMainLoop();
  EXPECT_TRUE(batches.empty());
  clock.advanceSeconds(1);
  platform::testing::drainMainLoop();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].size(), 10u);
  EXPECT_EQ(batches[0].front(), "0");
  EXPECT_FALSE(queue->isTimeoutScheduled());
  EXPECT_EQ(queue->messageCount(), 0);
}

TEST_F(ZCMDataMessageTest, AnAcknowledgementRemovesStoredMessagesAndReportsTheDataOnes) {
  const std::shared_ptr<ZCMClient> client = ZCMClient::make({}, store);
  client->setDataMessageManager(manager);
  send("d", 60, 0, {{"k", Value("v")}});
  DudevIqStanza other;
  other.set_type(DudevIqStanza::IQ_TYPE_1);
  other.set_id("iq");
  std::optional<platform::Error> error;
  ASSERT_TRUE(store->saveMessage(other, store->nextRmqId(), kZCMTagIqStanza, &error));
  std::vector<std::string> ids;
  store->scanWithRmqMessageHandler(
      [&](int64_t rmqId, int8_t, const std::string&) { ids.push_back(std::to_string(rmqId)); },
      nullptr);
  ASSERT_EQ(ids.size(), 2u);
  ids.push_back("12345");  // nothing stored under it
  EXPECT_EQ(client->connectionDidReceiveAckForRmqIds(ids), 2);
  EXPECT_EQ(delegate->didSend, std::vector<std::string>{"d"});
  EXPECT_TRUE(stored().empty());
}

// The app delegate adopts only the fetch form of the remote-notification operation.
class FetchOnlyAppDelegate final : public platform::ui::ApplicationDelegate,
                                   public platform::ui::RemoteNotificationFetchDelegate {
 public:
  void didReceiveRemoteNotification(platform::ui::Application&, const Dictionary& info,
                                    platform::ui::FetchCompletionHandler handler) override {
    messages.push_back(info);
    handler(platform::ui::BackgroundFetchResult::NewData);
  }
  std::vector<Dictionary> messages;
};

TEST_F(ZCMDataMessageTest, TheReceiverCallsOnlyTheChosenAppDelegateOperation) {
  ZCMLogRecorder log;
  const auto appDelegate = std::make_shared<FetchOnlyAppDelegate>();
  platform::ui::Application::shared().setDelegate(appDelegate);
  // A receiver delegate without operations of its own.
  const auto silent = std::make_shared<ZCMReceiverDelegate>();
  ZCMReceiver receiver(silent, false);
  receiver.didReceiveMessage({{"k", Value("1")}});
  receiver.willSendDataMessageWithID("x", std::nullopt);
  receiver.didSendDataMessageWithID("x");
  receiver.didDeleteMessagesOnServer();
  EXPECT_TRUE(appDelegate->messages.empty());  // always later, on the main queue
  platform::testing::drainMainLoop();
  EXPECT_TRUE(appDelegate->messages.empty());
  EXPECT_TRUE(log.contains(
      "Error none of the remote notification callbacks implemented by UIApplicationDelegate",
      kZTMLoggerLevelError));
  receiver.setUseNewRemoteNotificationCallback(true);
  receiver.didReceiveMessage({{"k", Value("2")}});
  platform::testing::drainMainLoop();
  ASSERT_EQ(appDelegate->messages.size(), 1u);
  EXPECT_EQ(appDelegate->messages[0], (Dictionary{{"k", Value("2")}}));
  platform::ui::Application::resetShared();
}

}  // namespace
