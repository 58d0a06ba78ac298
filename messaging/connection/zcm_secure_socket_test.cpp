#include "messaging/connection/zcm_secure_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "messaging/testing/zcm_test_server.h"
#include "messaging/wire/wire_tags.h"
#include "platform/net/server_trust.h"
#include "platform/testing/main_loop.h"

namespace {

using Session = ZCMTestServer::Session;

class SocketRecorder : public ZCMSecureSocketDelegate {
 public:
  void secureSocket(ZCMSecureSocket&, std::string_view data, int8_t tag) override {
    received.push_back(ZCMFrame{tag, std::string(data)});
    if (onFrame) onFrame();
  }
  void secureSocket(ZCMSecureSocket&, int8_t tag,
                    const std::optional<std::string>& rmqId) override {
    sent.emplace_back(tag, rmqId);
  }
  void secureSocketDidConnect(ZCMSecureSocket&) override { ++connects; }
  void didDisconnectWithSecureSocket(ZCMSecureSocket&) override { ++disconnects; }

  std::vector<ZCMFrame> received;
  std::vector<std::pair<int8_t, std::optional<std::string>>> sent;
  int connects = 0;
  int disconnects = 0;
  std::function<void()> onFrame;
};

class ZCMSecureSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        platform::net::addTrustedAnchorCertificate(platform::testing::HttpsServer::certificatePEM())
            .ok());
    socket = ZCMSecureSocket::make();
    socket->setDelegate(recorder);
  }
  void TearDown() override { platform::net::removeTrustedAnchorCertificates(); }

  void connect(const ZCMTestServer& server) { socket->connectToHost("127.0.0.1", server.port()); }

  static DudevDataMessageStanza dataMessage(const std::string& id, size_t size) {
    DudevDataMessageStanza message;
    message.set_from("sender");
    message.set_category("app");
    message.set_persistent_id(id);
    message.set_raw_data(std::string(size, 'r'));
    return message;
  }

  std::shared_ptr<SocketRecorder> recorder = std::make_shared<SocketRecorder>();
  std::shared_ptr<ZCMSecureSocket> socket;
};

TEST_F(ZCMSecureSocketTest, WritesTheVersionByteAndQueuedFramesAndReportsEachOnceWritten) {
  std::vector<ZCMFrame> arrived;
  bool versionSeen = false;
  std::atomic<bool> done{false};
  ZCMTestServer server([&](Session& session) {
    versionSeen = session.readVersion();
    for (int i = 0; i < 2; ++i) {
      if (std::optional<ZCMFrame> frame = session.readFrame()) arrived.push_back(*frame);
    }
    done = true;
    session.sendBytes(Session::versionByte());
    session.waitForClose();
  });
  // Queued before the streams open: written after the version byte once they do.
  socket->sendData("", kZCMTagHeartbeatPing, std::nullopt);
  connect(server);
  EXPECT_EQ(socket->state(), ZCMSecureSocket::kStateConnecting);
  socket->sendData(dataMessage("7", 300).SerializeAsString(), kZCMTagDataMessageStanza, "7");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return recorder->sent.size() == 2; }));
  EXPECT_EQ(recorder->connects, 1);
  EXPECT_EQ(socket->state(), ZCMSecureSocket::kStateConnected);
  EXPECT_EQ(recorder->sent[0],
            std::make_pair(int8_t{kZCMTagHeartbeatPing}, std::optional<std::string>()));
  EXPECT_EQ(recorder->sent[1],
            std::make_pair(int8_t{kZCMTagDataMessageStanza}, std::optional<std::string>("7")));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return done.load(); }));
  socket->disconnect();
  EXPECT_TRUE(versionSeen);
  ASSERT_EQ(arrived.size(), 2u);
  EXPECT_EQ(arrived[0].tag, kZCMTagHeartbeatPing);
  EXPECT_EQ(arrived[0].data, "");
  EXPECT_EQ(arrived[1].data, dataMessage("7", 300).SerializeAsString());
  EXPECT_EQ(recorder->disconnects, 1);
  socket->disconnect();  // no streams any more: nothing to tell
  EXPECT_EQ(recorder->disconnects, 1);
}

TEST_F(ZCMSecureSocketTest, DeliversFramesSplitAtEveryByteBoundaryOnceEach) {
  // Two frames, the second with a two-byte length, so splits fall inside both varints.
  const std::string pair =
      Session::frameOf(DudevHeartbeatPing()) + Session::frameOf(dataMessage("p", 200));
  size_t expected = 0;
  ZCMTestServer server([&](Session& session) {
    session.readVersion();
    // The version byte and the first frame together in one record.
    session.sendBytes(Session::versionByte() + pair);
    for (size_t split = 1; split < pair.size(); ++split) {
      session.sendBytes(std::string_view(pair).substr(0, split));
      session.sendBytes(std::string_view(pair).substr(split));
    }
    for (char byte : pair) session.sendBytes(std::string_view(&byte, 1));
    session.waitForClose();
  });
  expected = 2 * (1 + (pair.size() - 1) + 1);
  connect(server);
  ASSERT_TRUE(
      platform::testing::runMainLoopUntil([&] { return recorder->received.size() >= expected; }));
  platform::testing::drainMainLoop();
  ASSERT_EQ(recorder->received.size(), expected);
  for (size_t i = 0; i < expected; i += 2) {
    EXPECT_EQ(recorder->received[i].tag, kZCMTagHeartbeatPing);
    EXPECT_EQ(recorder->received[i + 1].data, dataMessage("p", 200).SerializeAsString());
  }
  EXPECT_EQ(recorder->disconnects, 0);
  socket->disconnect();
}

TEST_F(ZCMSecureSocketTest, EndsTheConnectionOnceForABadPeer) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::string frame = Session::frameOf(dataMessage("x", 50));
  const std::vector<Case> cases = {
      {"wrong version byte", std::string("\x25", 1) + frame},
      {"closed in the middle of a frame", Session::versionByte() + frame.substr(0, 20)},
      {"tag with the top bit set", Session::versionByte() + "\x88\x01\x00"},
      {"frame over 1 MiB",
       Session::versionByte() + std::string("\x08\x81\x80\x40", 4) + std::string(64 * 1024, 'a')},
  };
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.name);
    recorder = std::make_shared<SocketRecorder>();
    socket = ZCMSecureSocket::make();
    socket->setDelegate(recorder);
    ZCMTestServer server([&](Session& session) {
      session.readVersion();
      session.sendBytes(bad.bytes);
      session.close();
    });
    connect(server);
    ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return recorder->disconnects > 0; }));
    platform::testing::drainMainLoop();
    EXPECT_EQ(recorder->disconnects, 1);
    EXPECT_TRUE(recorder->received.empty());
    EXPECT_EQ(socket->state(), ZCMSecureSocket::kStateDisconnected);
  }
}

TEST_F(ZCMSecureSocketTest, AFrameTheSocketTakesInPartsIsReportedAfterItsLastByte) {
  std::atomic<bool> mayRead{false};
  std::atomic<size_t> arrivedSize{0};
  const DudevDataMessageStanza big = dataMessage("big", 16 << 20);
  ZCMTestServer server([&](Session& session) {
    session.readVersion();
    while (!mayRead.load()) std::this_thread::yield();
    const std::string expected = Session::frameOf(big);
    if (session.readBytes(expected.size()) == expected) arrivedSize = expected.size();
    session.waitForClose();
  });
  connect(server);
  socket->sendData(big.SerializeAsString(), kZCMTagDataMessageStanza, "big");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return recorder->connects == 1; }));
  platform::testing::drainMainLoop();
  EXPECT_TRUE(recorder->sent.empty());
  mayRead = true;
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !recorder->sent.empty(); },
                                                  platform::seconds(30)));
  EXPECT_EQ(recorder->sent.size(), 1u);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return arrivedSize.load() > 0; }));
  EXPECT_EQ(arrivedSize.load(), Session::frameOf(big).size());
  socket->disconnect();
}

TEST_F(ZCMSecureSocketTest, ADelegateThatDisconnectsOnAFrameHearsNoLaterFrameOfTheSameRead) {
  ZCMTestServer server([&](Session& session) {
    session.readVersion();
    session.sendBytes(Session::versionByte() + Session::frameOf(DudevHeartbeatPing()) +
                      Session::frameOf(DudevHeartbeatAck()));
    session.waitForClose();
  });
  recorder->onFrame = [&] {
    socket->disconnect();
    socket.reset();
  };
  socket->connectToHost("localhost", server.port());
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return recorder->disconnects > 0; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(recorder->received.size(), 1u);
  EXPECT_EQ(recorder->disconnects, 1);
}

TEST_F(ZCMSecureSocketTest, AnUntrustedServerEndsTheAttempt) {
  platform::net::removeTrustedAnchorCertificates();
  ZCMTestServer server([](Session& session) { session.waitForClose(); });
  connect(server);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return recorder->disconnects > 0; }));
  EXPECT_EQ(recorder->connects, 0);
  EXPECT_EQ(server.sessions(), 0);
}

}  // namespace
