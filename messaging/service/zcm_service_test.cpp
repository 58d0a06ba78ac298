#include "messaging/service/zcm_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "instance_id/testing/identity_server.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/service/testing/zcm_service_test_kit.h"
#include "messaging/testing/zcm_test_server.h"
#include "messaging/wire/dudev_extensions.pb.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/reachability/fake_network_monitor.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/remote_notifications.h"

namespace {

using instance_id_testing::IdentityServer;
using platform::Dictionary;
using platform::Value;
using platform::testing::drainMainLoop;
using platform::testing::runMainLoopUntil;
using Session = ZCMTestServer::Session;

constexpr const char* kBundleID = "com.example.zcm-service";

class RecordingAppDelegate final : public platform::ui::ApplicationDelegate,
                                   public platform::ui::RemoteNotificationDelegate {
 public:
  void didReceiveRemoteNotification(platform::ui::Application&, const Dictionary& info) override {
    messages.push_back(info);
  }
  std::vector<Dictionary> messages;
};

class RecordingReceiverDelegate final : public ZCMReceiverDelegate {
 public:
  void willSendDataMessageWithID(const std::string& id,
                                 const std::optional<platform::Error>& error) override {
    willSend.emplace_back(id, error ? error->code() : 0);
  }
  void didSendDataMessageWithID(const std::string& id) override { didSend.push_back(id); }
  std::vector<std::pair<std::string, int64_t>> willSend;
  std::vector<std::string> didSend;
};

// Frames a session received, for the test thread to look at.
class FrameLog {
 public:
  void add(const ZCMFrame& frame) {
    platform::MutexLock lock(mutex_);
    frames_.push_back(frame);
  }
  std::vector<DudevDataMessageStanza> dataMessages() const {
    platform::MutexLock lock(mutex_);
    std::vector<DudevDataMessageStanza> found;
    for (const ZCMFrame& frame : frames_) {
      DudevDataMessageStanza stanza;
      if (frame.tag == kZCMTagDataMessageStanza && stanza.ParseFromString(frame.data)) {
        found.push_back(stanza);
      }
    }
    return found;
  }

 private:
  mutable platform::Mutex mutex_;
  std::vector<ZCMFrame> frames_ VKR_GUARDED_BY(mutex_);
};

// Logs the client in, then records every frame it sends and answers its pings until it leaves.
void serveLoggedIn(Session& session, FrameLog& log) {
  if (!session.acceptLogin()) return;
  while (std::optional<ZCMFrame> frame = session.readFrame()) {
    log.add(*frame);
    if (frame->tag == kZCMTagHeartbeatPing) session.send(DudevHeartbeatAck());
  }
}

// Takes the version byte and the login, never answers, and waits for the client to leave.
void ignoreLogin(Session& session) {
  session.readVersion();
  session.readFrame();
  session.waitForClose();
}

// The first connection's login stays unanswered; later ones are logged in.
ZCMTestServer::Script ignoreTheFirstLogin(std::atomic<int>& sessions) {
  return [&sessions](Session& session) {
    if (++sessions == 1) return ignoreLogin(session);
    if (session.acceptLogin()) session.waitForClose();
  };
}

DudevDataMessageStanza downstream(const std::string& persistentId,
                                  std::vector<std::pair<std::string, std::string>> appData) {
  return ZCMTestDataMessage("sender-1", kBundleID, persistentId, appData);
}

class ZCMServiceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    scope.reset();  // stops the service, so the server's sessions end
    server.reset();
    platform::ui::Application::resetShared();
  }

  // A messaging server running the script for each connection, the credentials stored and the
  // service started with the receiver delegate.
  void start(ZCMTestServer::Script script, bool storeCheckin = true) {
    server.emplace(std::move(script));
    scope.emplace(identity, &*server);
    if (storeCheckin) ZCMServiceTestScope::storeCheckin(ZCMCurrentTimestampInMilliseconds());
    platform::ui::Application::shared().setDelegate(appDelegate);
    ZCMConfig config = ZCMConfig::defaultConfig();
    config.setReceiverDelegate(receiverDelegate);
    service().startWithConfig(config);
    ASSERT_TRUE(runMainLoopUntil(
        [&] { return service().isNetworkAvailable() == (network->defaultRouteFlags() != 0u); }));
  }
  static ZCMService& service() { return ZCMService::sharedInstance(); }

  // Connects and answers the handler's result (0 for no error) once it came.
  int64_t connect() {
    int calls = 0;
    std::optional<platform::Error> result;
    service().connectWithHandler([&](const std::optional<platform::Error>& error) {
      ++calls;
      result = error;
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
    drainMainLoop();
    EXPECT_EQ(calls, 1);
    return result ? result->code() : 0;
  }
  bool waitForSessions(int count) {
    return runMainLoopUntil([&] { return server->sessions() >= count; });
  }
  // Advances virtual time and lets what fell due run.
  void advance(double seconds) {
    clock.advanceSeconds(seconds);
    drainMainLoop();
  }

  platform::ManualClock clock;
  platform::testing::TestApp app{kBundleID, {{"CFBundleShortVersionString", "1.0"}}};
  platform::ScopedFakeNetworkMonitor network;
  IdentityServer identity;
  std::shared_ptr<RecordingAppDelegate> appDelegate = std::make_shared<RecordingAppDelegate>();
  std::shared_ptr<RecordingReceiverDelegate> receiverDelegate =
      std::make_shared<RecordingReceiverDelegate>();
  std::optional<ZCMTestServer> server;
  std::optional<ZCMServiceTestScope> scope;
};

TEST_F(ZCMServiceTest, ConnectsAndDeliversADownstreamMessageOnce) {
  start([&](Session& session) {
    if (!session.acceptLogin()) return;
    session.send(downstream("p1", {{"k", "v"},
                                   {"from", "spoofed"},
                                   {"Zorova.secret", "x"},
                                   {"zcm.notification.title", "T"},
                                   {"zcm.notification.", "bad"}}));
    session.waitForClose();
  });
  EXPECT_EQ(connect(), 0);
  EXPECT_TRUE(service().client()->isConnectionActive());
  ASSERT_TRUE(runMainLoopUntil([&] { return !appDelegate->messages.empty(); }));
  drainMainLoop();
  ASSERT_EQ(appDelegate->messages.size(), 1u);
  EXPECT_EQ(appDelegate->messages[0],
            (Dictionary{{"from", Value("sender-1")},
                        {"k", Value("v")},
                        {"notification", Value(Dictionary{{"title", Value("T")}})}}));
  // Connecting again while connected is refused at once.
  EXPECT_EQ(connect(), kZCMErrorCodeAlreadyConnected);
}

TEST_F(ZCMServiceTest, ASyncMessageArrivingByPushAndByConnectionIsDeliveredOnce) {
  start([&](Session& session) {
    if (!session.acceptLogin()) return;
    // d1 came by push first: dropped. d2 comes here first: delivered.
    session.send(downstream("d1", {{"zcm.duplex", "1"}, {"k", "1"}}));
    session.send(downstream("d2", {{"zcm.duplex", "1"}, {"k", "2"}}));
    session.waitForClose();
  });
  const Dictionary aps{{"content-available", Value(1)}};
  EXPECT_FALSE(
      service().appDidReceiveMessage({{"aps", Value(aps)}, {"zcm.message_id", Value("d1")}}));
  EXPECT_EQ(connect(), 0);
  ASSERT_TRUE(runMainLoopUntil([&] { return !appDelegate->messages.empty(); }));
  drainMainLoop();
  ASSERT_EQ(appDelegate->messages.size(), 1u);
  EXPECT_EQ(appDelegate->messages[0].find("k")->stringOr(""), "2");
  EXPECT_TRUE(
      service().appDidReceiveMessage({{"aps", Value(aps)}, {"zcm.message_id", Value("d2")}}));
  // Without an id a sync message is not recognised; a plain message is no sync message.
  EXPECT_FALSE(service().appDidReceiveMessage({{"aps", Value(aps)}}));
  EXPECT_FALSE(service().appDidReceiveMessage({{"zcm.message_id", Value("d3")}}));
  EXPECT_FALSE(
      ZCMService::isAPNSSyncMessage({{"aps", Value(Dictionary{{"content-available", Value(0)}})}}));
  EXPECT_TRUE(ZCMService::isAPNSSyncMessage(
      {{"aps", Value(Dictionary{{"content-available", Value("1")}})}}));
}

TEST_F(ZCMServiceTest, AStoredUpstreamMessageSurvivesARestartAndIsSentAgain) {
  FrameLog first;
  FrameLog second;
  std::atomic<int> sessions{0};
  start([&](Session& session) {
    if (++sessions == 1) return serveLoggedIn(session, first);
    if (!session.acceptLogin()) return;
    // A selective acknowledgement of nothing: the client sends again what it stored.
    DudevSelectiveAck none;
    DudevIqStanza ack;
    ack.set_type(DudevIqStanza::IQ_TYPE_1);
    ack.set_id("");
    ack.mutable_extension()->set_id(kZCMSelectiveAckExtensionId);
    ack.mutable_extension()->set_data(none.SerializeAsString());
    session.send(ack);
    while (std::optional<ZCMFrame> frame = session.readFrame()) {
      second.add(*frame);
      // The resent message's stream position is confirmed.
      if (frame->tag == kZCMTagDataMessageStanza) {
        DudevHeartbeatAck confirm;
        confirm.set_last_stream_id_received(100);
        session.send(confirm);
      }
    }
  });
  EXPECT_EQ(connect(), 0);
  service().sendMessage({{"k", Value("v")}, {"n", Value(12)}}, "dest", int64_t{600}, "m1");
  ASSERT_TRUE(runMainLoopUntil([&] { return !first.dataMessages().empty(); }));
  const DudevDataMessageStanza sent = first.dataMessages()[0];
  EXPECT_EQ(sent.to(), "dest");
  EXPECT_EQ(sent.id(), "m1");
  EXPECT_EQ(sent.ttl(), 600);
  EXPECT_EQ(sent.category(), kBundleID);
  EXPECT_EQ(sent.from(), "");
  EXPECT_FALSE(sent.persistent_id().empty());
  ASSERT_EQ(sent.app_data_size(), 2);
  EXPECT_EQ(sent.app_data(1).key(), "n");
  EXPECT_EQ(sent.app_data(1).value(), "12");
  drainMainLoop();
  EXPECT_EQ(receiverDelegate->willSend, (std::vector<std::pair<std::string, int64_t>>{{"m1", 0}}));

  // The app starts again; the message waits in the store until the server has it.
  ZCMService::resetSharedInstanceForTesting();
  ZCMConfig config = ZCMConfig::defaultConfig();
  config.setReceiverDelegate(receiverDelegate);
  service().startWithConfig(config);
  EXPECT_EQ(connect(), 0);
  ASSERT_TRUE(runMainLoopUntil([&] { return !receiverDelegate->didSend.empty(); }));
  ASSERT_EQ(second.dataMessages().size(), 1u);
  EXPECT_EQ(second.dataMessages()[0].persistent_id(), sent.persistent_id());
  EXPECT_EQ(receiverDelegate->didSend, std::vector<std::string>{"m1"});
  int stored = 0;
  service().rmq2Manager()->scanWithRmqMessageHandler(
      [&](int64_t, int8_t, const std::string&) { ++stored; }, nullptr);
  EXPECT_EQ(stored, 0);
}

TEST_F(ZCMServiceTest, BatchedMessagesWaitForTheirDelayInVirtualTime) {
  FrameLog log;
  start([&](Session& session) { serveLoggedIn(session, log); });
  EXPECT_EQ(connect(), 0);
  // The ping that follows the login is answered (login response 1, ack 2) before time moves.
  ASSERT_TRUE(
      runMainLoopUntil([&] { return service().client()->connection()->inStreamId() >= 2; }));
  service().sendBatched({{"k", Value("v")}}, "dest", "b1", 30);
  advance(29);
  EXPECT_TRUE(log.dataMessages().empty());
  advance(1);
  ASSERT_TRUE(runMainLoopUntil([&] { return !log.dataMessages().empty(); }));
  const DudevDataMessageStanza sent = log.dataMessages()[0];
  EXPECT_EQ(sent.id(), "b1");
  EXPECT_EQ(sent.ttl(), 86400);  // none given: the default
  EXPECT_EQ(sent.max_delay(), 30);
  EXPECT_EQ(sent.actual_delay(), 30);
}

TEST_F(ZCMServiceTest, FailedAttemptsBackOffDoublingUpTo1024Seconds) {
  start(ignoreLogin);
  int handlerCalls = 0;
  service().connectWithHandler([&](const std::optional<platform::Error>&) { ++handlerCalls; });
  ASSERT_TRUE(waitForSessions(1));
  for (int attempt = 1; attempt <= 11; ++attempt) {
    const double delay = static_cast<double>(1 << std::min(attempt, 10));
    advance(ZCMClient::kConnectionTimeoutInterval);  // the attempt times out
    advance(delay - 0.5);
    EXPECT_EQ(server->sessions(), attempt) << "attempt " << attempt;
    advance(0.5);
    ASSERT_TRUE(waitForSessions(attempt + 1)) << "attempt " << attempt;
  }
  EXPECT_EQ(service().client()->connectRetryCount(), 10u);
  EXPECT_EQ(handlerCalls, 0);
}

TEST_F(ZCMServiceTest, AConnectionDroppedAfterLoginIsRetriedAfterOneSecond) {
  std::atomic<int> sessions{0};
  start([&](Session& session) {
    if (!session.acceptLogin()) return;
    if (++sessions == 1) return session.close();
    session.waitForClose();
  });
  EXPECT_EQ(connect(), 0);
  ASSERT_TRUE(runMainLoopUntil([&] { return !service().client()->isConnectionActive(); }));
  advance(0.9);
  EXPECT_EQ(server->sessions(), 1);
  advance(0.1);
  ASSERT_TRUE(runMainLoopUntil([&] { return service().client()->isConnectionActive(); }));
  EXPECT_EQ(server->sessions(), 2);
}

TEST_F(ZCMServiceTest, WithoutNetworkTheClientWaitsForItToReturn) {
  network->setFlags(0);
  std::atomic<int> sessions{0};
  start(ignoreTheFirstLogin(sessions));
  int calls = 0;
  std::optional<platform::Error> result;
  service().connectWithHandler([&](const std::optional<platform::Error>& error) {
    ++calls;
    result = error;
  });
  ASSERT_TRUE(waitForSessions(1));
  advance(ZCMClient::kConnectionTimeoutInterval);
  ASSERT_EQ(calls, 1);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->domain(), kZCMNoInternetErrorDomain);
  EXPECT_EQ(result->code(), 4);
  advance(2000);
  EXPECT_EQ(server->sessions(), 1);

  network->injectChange(platform::kReachabilityFlagReachable);
  ASSERT_TRUE(runMainLoopUntil([&] { return service().client()->isConnectionActive(); }));
  EXPECT_EQ(server->sessions(), 2);
  EXPECT_EQ(calls, 1);
}

TEST_F(ZCMServiceTest, ALaterReconnectIsScheduledOnceFromTheFirstRequest) {
  network->setFlags(0);
  std::atomic<int> sessions{0};
  start(ignoreTheFirstLogin(sessions));
  service().connectWithHandler(nullptr);
  ASSERT_TRUE(waitForSessions(1));
  advance(ZCMClient::kConnectionTimeoutInterval);  // no network: the client waits
  service().client()->retryConnectionImmediately(false);
  advance(60);
  service().client()->retryConnectionImmediately(false);
  advance(59.5);
  EXPECT_EQ(server->sessions(), 1);
  advance(0.5);
  // 120 s after the first request, not the second.
  ASSERT_TRUE(runMainLoopUntil([&] { return service().client()->isConnectionActive(); }));
  EXPECT_EQ(server->sessions(), 2);
}

TEST_F(ZCMServiceTest, WithoutCheckinConnectingFailsWithoutASocket) {
  start(ignoreLogin, /*storeCheckin=*/false);
  EXPECT_EQ(connect(), kZCMErrorCodeMissingCheckin);
  drainMainLoop();
  EXPECT_EQ(server->sessions(), 0);
  // Nothing can be sent before a login.
  service().sendMessage({{"k", Value("v")}}, "dest", std::nullopt);
  drainMainLoop();
  EXPECT_EQ(receiverDelegate->willSend,
            (std::vector<std::pair<std::string, int64_t>>{{"", kZCMErrorCodeMissingCheckin}}));
}

TEST_F(ZCMServiceTest, ARepeatedStartReusesItsObjectsAndTakesTheNewReceiverSettings) {
  start(ignoreLogin);
  const std::shared_ptr<ZCMClient> client = service().client();
  const std::shared_ptr<ZCMReceiver> receiver = service().receiver();
  const std::shared_ptr<ZCMRmqManager> store = service().rmq2Manager();
  const auto other = std::make_shared<RecordingReceiverDelegate>();
  ZCMConfig config = ZCMConfig::defaultConfig();
  config.setReceiverDelegate(other);
  config.setUseNewRemoteNotificationCallback(true);
  service().startWithConfig(config);
  EXPECT_EQ(service().client(), client);
  EXPECT_EQ(service().rmq2Manager(), store);
  EXPECT_EQ(service().receiver(), receiver);
  EXPECT_EQ(receiver->receiverDelegate().lock(), other);
  EXPECT_TRUE(receiver->useNewRemoteNotificationCallback());

  // After a teardown a start makes the torn-down parts anew; the receiver stays.
  service().teardown();
  EXPECT_FALSE(service().isClientSetup());
  EXPECT_EQ(service().client(), nullptr);
  service().startWithConfig(config);
  EXPECT_TRUE(service().isClientSetup());
  EXPECT_NE(service().client(), client);
  EXPECT_EQ(service().receiver(), receiver);
}

TEST_F(ZCMServiceTest, StartWritesTheVersionAndMapsLogLevels) {
  start(ignoreLogin);
  EXPECT_EQ(platform::UserDefaults::standard()->stringForKey(kZCMVersionDefaultsKey), "1.1.0");
  const ZCMConfig config = ZCMConfig::defaultConfig();
  EXPECT_EQ(config.logLevel(), 2);
  EXPECT_FALSE(config.useNewRemoteNotificationCallback());
  EXPECT_EQ(config.receiverDelegate().lock(), nullptr);
  const struct {
    int8_t level;
    ZTMLoggerLevel logger;
  } levels[] = {{0, kZTMLoggerLevelDebug},
                {2, kZTMLoggerLevelError},
                {3, kZTMLoggerLevelAssert},
                {4, kZTMLoggerLevelError},
                {-1, kZTMLoggerLevelError}};
  for (const auto& item : levels) {
    EXPECT_EQ(ZCMService::ztmLoggerLevelForZCMLogLevel(item.level), item.logger) << +item.level;
  }
}

// Before a start nothing is half done: a connect request is answered, a send does nothing.
TEST_F(ZCMServiceTest, BeforeAStartConnectingIsAnsweredAndNothingIsSent) {
  EXPECT_EQ(connect(), kZCMErrorCodePubSubClientNotSetup);
  service().sendMessage({{"k", Value("v")}}, "dest", "m");
  service().disconnect();
  EXPECT_FALSE(service().appDidReceiveMessage({{"zcm.message_id", Value("x")}}));
  drainMainLoop();
  EXPECT_TRUE(receiverDelegate->willSend.empty());
  ZCMService::resetSharedInstanceForTesting();
}

TEST_F(ZCMServiceTest, UpstreamMessageDictionaryAndDebugEvents) {
  EXPECT_EQ(
      ZCMService::createZCMMessageWithMessage({{"a", Value("b")}}, "to", std::nullopt, 86400, -1),
      (Dictionary{{"zorova.to", Value("to")},
                  {"zorova.msg_id", Value("")},
                  {"zorova.ttl", Value(86400)},
                  {"zorova.delay", Value(-1)},
                  {"zorova.data", Value(Dictionary{{"a", Value("b")}})}}));
  for (int event = 0; event < 205; ++event) ZCMService::addDebugEvent(std::to_string(event));
  const std::vector<std::string>& events = service().debugEvents();
  ASSERT_EQ(events.size(), 199u);
  EXPECT_TRUE(events.front().ends_with(":0:0:204")) << events.front();
  EXPECT_TRUE(events.back().ends_with(":0:0:6")) << events.back();
  ZCMService::dumpAllEvents();
  EXPECT_TRUE(service().debugEvents().empty());
  ZCMService::resetSharedInstanceForTesting();
}

}  // namespace
