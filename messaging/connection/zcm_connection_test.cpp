#include "messaging/connection/zcm_connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "messaging/testing/zcm_test_server.h"
#include "messaging/wire/dudev_extensions.pb.h"
#include "messaging/wire/wire_tags.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/server_trust.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using Session = ZCMTestServer::Session;

class Resender : public ZCMDataMessageResender {
 public:
  void resendMessagesWithConnection(ZCMConnection&) override { ++resends; }
  int resends = 0;
};

class ConnectionRecorder : public ZCMConnectionDelegate {
 public:
  void connection(ZCMConnection&, unsigned reason) override { closes.push_back(reason); }
  void didLoginWithConnection(ZCMConnection&) override { ++logins; }
  void connectionDidRecieveMessage(const DudevDataMessageStanza& message) override {
    messages.push_back(message.persistent_id());
    if (onMessage) onMessage();
  }
  int32_t connectionDidReceiveAckForRmqIds(const std::vector<std::string>& rmqIds) override {
    if (!rmqIds.empty()) acks.push_back(rmqIds);
    return removedPerAck;
  }
  std::vector<unsigned> closes;
  int logins = 0;
  std::vector<std::string> messages;
  std::vector<std::vector<std::string>> acks;
  int32_t removedPerAck = 0;
  std::function<void()> onMessage;
};

// The script's progress, for the test to wait on.
class Stage {
 public:
  void reach(int stage) { stage_ = stage; }
  bool waitFor(int stage) {
    return platform::testing::runMainLoopUntil([&] { return stage_.load() >= stage; });
  }

 private:
  std::atomic<int> stage_{0};
};

DudevDataMessageStanza dataMessage(const std::string& id, bool immediateAck = false) {
  DudevDataMessageStanza message;
  message.set_from("sender");
  message.set_category("app");
  message.set_persistent_id(id);
  if (immediateAck) message.set_immediate_ack(true);
  return message;
}

template <typename M>
M reporting(M message, int32_t lastStreamIdReceived) {
  message.set_last_stream_id_received(lastStreamIdReceived);
  return message;
}

bool isStreamAck(const std::optional<DudevIqStanza>& iq, int32_t lastStreamIdReceived) {
  return iq && iq->type() == 1 && iq->id().empty() && iq->has_extension() &&
         iq->extension().id() == kZCMStreamAckExtensionId && iq->extension().data().empty() &&
         iq->last_stream_id_received() == lastStreamIdReceived;
}

class ZCMConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        platform::net::addTrustedAnchorCertificate(platform::testing::HttpsServer::certificatePEM())
            .ok());
  }
  void TearDown() override {
    if (connection) connection->teardown();
    platform::net::removeTrustedAnchorCertificates();
    ZCMConnection::setNetworkTypeProvider(nullptr);
  }

  void signIn(const ZCMTestServer& server, const std::string& authID = "4321") {
    connection = ZCMConnection::make(authID, "secret", "127.0.0.1", server.port(), store, resender);
    connection->setDelegate(recorder);
    for (auto& message : beforeLogin) connection->sendOnConnectOrDrop(std::move(message));
    connection->signIn();
    EXPECT_EQ(connection->state(), ZCMConnection::kStateConnecting);
  }

  std::vector<std::string> unacked() const { return store->unackedS2dRmqIds(); }

  platform::ManualClock clock;
  platform::testing::TestApp app;
  std::shared_ptr<ZCMRmqManager> store = std::make_shared<ZCMRmqManager>("rmq2");
  std::shared_ptr<Resender> resender = std::make_shared<Resender>();
  std::shared_ptr<ConnectionRecorder> recorder = std::make_shared<ConnectionRecorder>();
  std::vector<std::unique_ptr<google::protobuf::MessageLite>> beforeLogin;
  std::shared_ptr<ZCMConnection> connection;
  Stage stage;
};

TEST_F(ZCMConnectionTest, LogsInWithTheExactRequestAndClearsEarlierIdsOnceTheServerHasThem) {
  store->saveS2dMessageWithRmqId("s1");
  store->saveS2dMessageWithRmqId("s2");
  ZCMConnection::setNetworkTypeProvider([] { return int64_t{1}; });
  std::string loginBytes;
  std::optional<DudevHeartbeatPing> ping;
  ZCMTestServer server([&](Session& session) {
    session.readVersion();
    std::optional<ZCMFrame> login = session.readFrame();
    if (!login || login->tag != kZCMTagLoginRequest) return;
    loginBytes = login->data;
    DudevLoginResponse response;
    response.set_id("r");
    session.sendBytes(Session::versionByte() + Session::frameOf(response));
    ping = session.expect<DudevHeartbeatPing>();
    stage.reach(1);
    // The login went out as stream id 1.
    session.send(reporting(DudevHeartbeatAck(), 1));
    session.waitForClose();
  });
  signIn(server, "5234567890123456789");
  ASSERT_TRUE(stage.waitFor(1));

  DudevLoginRequest expected;
  expected.set_id("ios-1.1.0");
  expected.set_domain(kZCMLoginDomain);
  expected.set_user("5234567890123456789");
  expected.set_resource("5234567890123456789");
  expected.set_auth_token("secret");
  expected.set_device_id("android-48a4ebc31b798115");
  expected.set_last_rmq_id(1);
  DudevSetting* setting = expected.add_setting();
  setting->set_name("new_vc");
  setting->set_value("1");
  expected.add_received_persistent_id("s1");
  expected.add_received_persistent_id("s2");
  expected.set_adaptive_heartbeat(false);
  expected.set_use_rmq2(true);
  expected.set_account_id(1000000);
  expected.set_auth_service(DudevLoginRequest::AUTH_SERVICE_2);
  expected.set_network_type(1);
  EXPECT_EQ(loginBytes, expected.SerializeAsString());
  // The ping right after the login reports the login response.
  ASSERT_TRUE(ping.has_value());
  EXPECT_EQ(ping->last_stream_id_received(), 1);
  EXPECT_EQ(recorder->logins, 1);
  EXPECT_EQ(connection->state(), ZCMConnection::kStateSignedIn);

  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return unacked().empty(); }));
  EXPECT_EQ(connection->description(), "host: 127.0.0.1, port: " + std::to_string(server.port()) +
                                           ", stream id in: 2, stream id out: 2");
}

TEST_F(ZCMConnectionTest, LoginNetworkTypesAndDeviceIds) {
  const struct {
    int64_t serviceType;
    int32_t loginType;
  } types[] = {{0, -1}, {1, 1}, {2, 0}, {3, -1}};
  for (const auto& type : types) {
    ZCMConnection::setNetworkTypeProvider([&] { return type.serviceType; });
    EXPECT_EQ(ZCMConnection::currentNetworkType(), type.loginType) << type.serviceType;
  }
  EXPECT_EQ(ZCMConnection::loginRequestWithToken("t", "-1").device_id(),
            "android-ffffffffffffffff");
  EXPECT_EQ(ZCMConnection::loginRequestWithToken("t", "255").device_id(), "android-ff");
}

TEST_F(ZCMConnectionTest, KeepsTheConnectionAliveWithHeartbeatsInVirtualTime) {
  std::optional<DudevHeartbeatAck> answer;
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
    session.send(DudevHeartbeatPing());
    answer = session.expect<DudevHeartbeatAck>();
    stage.reach(1);
    if (!session.expect<DudevHeartbeatPing>()) return;
    session.send(DudevHeartbeatAck());
    stage.reach(2);
    if (!session.expect<DudevHeartbeatPing>()) return;
    stage.reach(3);  // this one stays unanswered
    session.waitForClose();
  });
  signIn(server);
  ASSERT_TRUE(stage.waitFor(1));
  // The server's ping is answered with an ack reporting it (login response 1, ping 2).
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->last_stream_id_received(), 2);
  EXPECT_EQ(connection->outStreamId(), 3);

  // A ping 30 s after the first frame that followed the last ping.
  clock.advanceSeconds(29.9);
  EXPECT_EQ(connection->outStreamId(), 3);
  clock.advanceSeconds(0.1);
  EXPECT_EQ(connection->outStreamId(), 4);
  ASSERT_TRUE(stage.waitFor(2));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return connection->inStreamId() == 3; }));

  // The answer stopped the time-out; the next ping comes 30 s after the answer.
  clock.advanceSeconds(20);
  EXPECT_TRUE(recorder->closes.empty());
  clock.advanceSeconds(10);
  EXPECT_EQ(connection->outStreamId(), 5);
  ASSERT_TRUE(stage.waitFor(3));
  clock.advanceSeconds(19.9);
  EXPECT_TRUE(recorder->closes.empty());
  clock.advanceSeconds(0.1);
  EXPECT_EQ(recorder->closes, std::vector<unsigned>{ZCMConnectionDelegate::kCloseReasonTimeout});
  EXPECT_EQ(connection->state(), ZCMConnection::kStateDisconnected);
  clock.advanceSeconds(60);
  platform::testing::drainMainLoop();
  EXPECT_EQ(recorder->closes.size(), 1u);
}

TEST_F(ZCMConnectionTest, CountsStreamIdsAndAcknowledgesWhatItReceived) {
  std::atomic<bool> firstAck{false};
  std::atomic<bool> immediateAck{false};
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += Session::frameOf(dataMessage("m" + std::to_string(i)));
    session.sendBytes(ten);
    // Exactly one acknowledgement, reporting login response + ten messages.
    firstAck = isStreamAck(session.expect<DudevIqStanza>(), 11);
    session.send(dataMessage("m10", true));
    immediateAck = isStreamAck(session.expect<DudevIqStanza>(), 12);
    // The first acknowledgement (stream id 3) reported m0 to m9.
    session.send(reporting(DudevHeartbeatAck(), 3));
    stage.reach(1);
    session.waitForClose();
  });
  signIn(server);
  ASSERT_TRUE(stage.waitFor(1));
  EXPECT_TRUE(firstAck);
  EXPECT_TRUE(immediateAck);
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return unacked() == std::vector<std::string>{"m10"}; }));
  EXPECT_EQ(recorder->messages.size(), 11u);
  EXPECT_EQ(connection->inStreamId(), 13);
  EXPECT_EQ(connection->outStreamId(), 4);
}

TEST_F(ZCMConnectionTest, AnAcknowledgementRightAfterAnotherReportsNoPosition) {
  // One frame that confirms enough sent messages and asks for an immediate acknowledgement: the
  // first acknowledgement reports the position, the second has nothing new to report.
  beforeLogin.push_back(std::make_unique<DudevDataMessageStanza>(dataMessage("d1")));
  recorder->removedPerAck = 5;
  std::optional<DudevIqStanza> first, second;
  store.reset();  // its disk writes would only slow the test down
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>() ||
        !session.expect<DudevDataMessageStanza>()) {
      return;
    }
    session.send(reporting(dataMessage("m", true), 3));
    first = session.expect<DudevIqStanza>();
    second = session.expect<DudevIqStanza>();
    stage.reach(1);
    session.waitForClose();
  });
  signIn(server);
  ASSERT_TRUE(stage.waitFor(1));
  EXPECT_TRUE(isStreamAck(first, 2));
  EXPECT_TRUE(isStreamAck(second, 0));
  ASSERT_TRUE(second.has_value());
  EXPECT_FALSE(second->has_last_stream_id_received());
}

TEST_F(ZCMConnectionTest, ASecondLoginListsTheUnconfirmedIdsByTheirAcknowledgementsText) {
  // Ten acknowledgements (stream ids 3 to 12) the server never confirms: the next login lists
  // their ids with those of "10", "11" and "12" before those of "3".
  std::vector<std::string> relisted;
  std::atomic<int> sessions{0};
  ZCMTestServer server([&](Session& session) {
    if (sessions++ == 0) {
      if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
      std::string hundred;
      for (int i = 0; i < 100; ++i)
        hundred += Session::frameOf(dataMessage("m" + std::to_string(i)));
      session.sendBytes(hundred);
      for (int i = 0; i < 10; ++i) {
        if (!session.expect<DudevIqStanza>()) return;
      }
      session.close();
      return;
    }
    if (std::optional<DudevLoginRequest> login = session.acceptLogin()) {
      relisted.assign(login->received_persistent_id().begin(),
                      login->received_persistent_id().end());
    }
    stage.reach(1);
    session.waitForClose();
  });
  // Without a store, whose disk writes would only slow the hundred messages down.
  store.reset();
  signIn(server);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !recorder->closes.empty(); }));
  connection->signIn();
  ASSERT_TRUE(stage.waitFor(1));
  std::vector<std::string> expected;
  for (int i = 70; i < 100; ++i) expected.push_back("m" + std::to_string(i));
  for (int i = 0; i < 70; ++i) expected.push_back("m" + std::to_string(i));
  EXPECT_EQ(relisted, expected);
}

TEST_F(ZCMConnectionTest, LearnsWhichSentMessagesTheServerHolds) {
  for (const char* id : {"d1", "d2"}) {
    beforeLogin.push_back(std::make_unique<DudevDataMessageStanza>(dataMessage(id)));
  }
  recorder->removedPerAck = 5;
  bool streamAcked = false;
  ZCMLogRecorder log;
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
    // Waiting for the login, the messages went out after it and its ping: stream ids 3 and 4.
    if (!session.expect<DudevDataMessageStanza>() || !session.expect<DudevDataMessageStanza>()) {
      return;
    }
    // A tag without a message type is dropped before anything counts it.
    session.sendBytes(ZCMEncodeFrame(5, ""));
    session.send(reporting(DudevHeartbeatAck(), 3));
    streamAcked = isStreamAck(session.expect<DudevIqStanza>(), 2);
    DudevSelectiveAck held;
    held.add_id("d2");
    held.add_id("unknown");
    DudevIqStanza selective;
    selective.set_type(DudevIqStanza::IQ_TYPE_1);
    selective.set_id("s");
    selective.mutable_extension()->set_id(kZCMSelectiveAckExtensionId);
    selective.mutable_extension()->set_data(held.SerializeAsString());
    session.send(selective);
    stage.reach(1);
    session.waitForClose();
  });
  signIn(server);
  ASSERT_TRUE(stage.waitFor(1));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return resender->resends == 1; }));
  EXPECT_TRUE(streamAcked);
  EXPECT_EQ(recorder->acks, (std::vector<std::vector<std::string>>{{"d1"}, {"d2", "unknown"}}));
  EXPECT_TRUE(log.contains("Invalid tag 5 for proto", kZTMLoggerLevelError));
  // Login response, heartbeat ack and selective acknowledgement: the tag-5 frame is not counted.
  EXPECT_EQ(connection->inStreamId(), 3);
}

TEST_F(ZCMConnectionTest, ReportsTheEndOfTheSocketOnce) {
  const struct {
    const char* name;
    bool trusted;
  } cases[] = {{"server closes in the middle of a frame", true}, {"untrusted certificate", false}};
  for (const auto& how : cases) {
    SCOPED_TRACE(how.name);
    recorder = std::make_shared<ConnectionRecorder>();
    if (!how.trusted) platform::net::removeTrustedAnchorCertificates();
    ZCMTestServer server([&](Session& session) {
      if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
      session.sendBytes(Session::frameOf(dataMessage("cut")).substr(0, 5));
      session.close();
    });
    signIn(server);
    ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !recorder->closes.empty(); }));
    platform::testing::drainMainLoop();
    EXPECT_EQ(recorder->closes,
              std::vector<unsigned>{ZCMConnectionDelegate::kCloseReasonSocketDisconnected});
    EXPECT_EQ(recorder->logins, how.trusted ? 1 : 0);
    EXPECT_TRUE(recorder->messages.empty());
    EXPECT_EQ(connection->state(), ZCMConnection::kStateDisconnected);
  }
}

TEST_F(ZCMConnectionTest, ADelegateMaySignOutAndLetGoInTheMiddleOfARead) {
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
    session.sendBytes(Session::frameOf(dataMessage("a")) + Session::frameOf(dataMessage("b")) +
                      Session::frameOf(dataMessage("c")));
    session.waitForClose();
  });
  recorder->onMessage = [&] {
    connection->signOut();
    connection.reset();
  };
  signIn(server);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return connection == nullptr; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(recorder->messages, std::vector<std::string>{"a"});
  // Signing out tells the delegate nothing.
  EXPECT_TRUE(recorder->closes.empty());
}

TEST_F(ZCMConnectionTest, AServerCloseEndsTheConnectionWithoutAReport) {
  ZCMTestServer server([&](Session& session) {
    if (!session.acceptLogin() || !session.expect<DudevHeartbeatPing>()) return;
    session.send(DudevClose());
    session.waitForClose();
  });
  signIn(server);
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return connection->state() == ZCMConnection::kStateDisconnected; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(recorder->logins, 1);
  EXPECT_TRUE(recorder->closes.empty());
  // Sent once disconnected: dropped.
  DudevHeartbeatPing ping;
  connection->sendProto(ping);
  EXPECT_EQ(connection->outStreamId(), 2);
}

}  // namespace
