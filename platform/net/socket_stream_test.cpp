#include "platform/net/socket_stream.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <vector>

#include "platform/foundation/url_error.h"
#include "platform/net/server_trust.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/tls_server.h"

namespace platform::net {
namespace {

using testing::TLSServer;

// Records what each stream reports and reads what arrives; a hook may act on any event.
class Recorder : public StreamDelegate {
 public:
  void streamHandleEvent(SocketStream& stream, StreamEvent event) override {
    const bool input = pair && &stream == pair->input.get();
    events.emplace_back(input, event);
    if (onEvent && onEvent(input, event)) return;
    if (input && event == StreamEvent::HasBytesAvailable) drain();
  }

  void drain() {
    uint8_t buffer[4096];
    while (pair && pair->input->hasBytesAvailable()) {
      const int64_t count = pair->input->read(buffer, sizeof buffer);
      if (count <= 0) break;
      received.insert(received.end(), buffer, buffer + count);
    }
  }

  int count(bool input, StreamEvent event) const {
    int n = 0;
    for (const auto& [side, seen] : events) n += side == input && seen == event;
    return n;
  }

  std::optional<SocketStreamPair> pair;
  std::vector<std::pair<bool, StreamEvent>> events;
  Bytes received;
  // Answers true when it handled the event itself.
  std::function<bool(bool input, StreamEvent event)> onEvent;
};

class SocketStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(addTrustedAnchorCertificate(testing::HttpsServer::certificatePEM()).ok());
  }
  void TearDown() override { removeTrustedAnchorCertificates(); }

  std::shared_ptr<Recorder> connect(const std::string& host, uint16_t port) {
    auto recorder = std::make_shared<Recorder>();
    recorder->pair = makeTLSStreamPair(host, port);
    EXPECT_TRUE(recorder->pair.has_value());
    for (SocketStream* stream : {static_cast<SocketStream*>(recorder->pair->output.get()),
                                 static_cast<SocketStream*>(recorder->pair->input.get())}) {
      stream->setDelegate(recorder);
      stream->open();
    }
    return recorder;
  }

  static bool writeAll(SocketOutputStream& output, const Bytes& bytes, size_t& sent) {
    while (sent < bytes.size() && output.hasSpaceAvailable()) {
      const int64_t count = output.write(bytes.data() + sent, bytes.size() - sent);
      if (count < 0) return false;
      if (count == 0) break;
      sent += static_cast<size_t>(count);
    }
    return true;
  }
};

TEST_F(SocketStreamTest, ExchangesBytesWithTheServerByNameAndByAddress) {
  TLSServer server([](TLSServer::Connection& connection) {
    const Bytes asked = connection.read(5);
    connection.write("answer to " + stringOf(asked));
    connection.close();
  });
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    auto recorder = connect(host, server.port());
    EXPECT_EQ(recorder->pair->input->streamStatus(), StreamStatus::Opening);
    bool asked = false;
    recorder->onEvent = [&](bool input, StreamEvent event) {
      if (!input && event == StreamEvent::HasSpaceAvailable && !asked) {
        asked = true;
        EXPECT_EQ(recorder->pair->output->write(bytesOf("hello").data(), 5), 5);
      }
      return false;
    };
    ASSERT_TRUE(testing::runMainLoopUntil(
        [&] { return recorder->count(true, StreamEvent::EndEncountered) > 0; }));
    EXPECT_EQ(stringOf(recorder->received), "answer to hello");
    // The output stream opens first, then the input stream, once the handshake is done.
    ASSERT_GE(recorder->events.size(), 2u);
    EXPECT_EQ(recorder->events[0], std::make_pair(false, StreamEvent::OpenCompleted));
    EXPECT_EQ(recorder->events[1], std::make_pair(true, StreamEvent::OpenCompleted));
    EXPECT_EQ(recorder->pair->input->streamStatus(), StreamStatus::AtEnd);
    EXPECT_EQ(recorder->pair->input->read(nullptr, 0), 0);
    testing::drainMainLoop();
    EXPECT_EQ(recorder->count(true, StreamEvent::EndEncountered), 1);
    EXPECT_EQ(recorder->count(false, StreamEvent::ErrorOccurred), 0);
  }
}

TEST_F(SocketStreamTest, RefusesAServerItDoesNotTrust) {
  removeTrustedAnchorCertificates();
  TLSServer server([](TLSServer::Connection& connection) { connection.waitForClose(); });
  auto recorder = connect("127.0.0.1", server.port());
  ASSERT_TRUE(testing::runMainLoopUntil(
      [&] { return recorder->count(true, StreamEvent::ErrorOccurred) > 0; }));
  EXPECT_EQ(recorder->count(false, StreamEvent::ErrorOccurred), 1);
  EXPECT_EQ(recorder->count(false, StreamEvent::OpenCompleted), 0);
  const std::optional<Error> error = recorder->pair->output->streamError();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->domain(), kURLErrorDomain);
  EXPECT_EQ(error->code(), kURLErrorServerCertificateUntrusted);
  EXPECT_EQ(recorder->pair->input->streamStatus(), StreamStatus::Error);
  EXPECT_EQ(recorder->pair->output->write(bytesOf("x").data(), 1), -1);
  EXPECT_EQ(server.sessions(), 0);
}

TEST_F(SocketStreamTest, EachConnectionChecksTheServerAgainstTheAnchorsOfItsTime) {
  TLSServer server([](TLSServer::Connection& connection) { connection.waitForClose(); });
  // Trusted, then not once the anchor is gone, then again once it is back.
  for (const bool trusted : {true, false, true}) {
    SCOPED_TRACE(trusted);
    if (trusted) {
      ASSERT_TRUE(addTrustedAnchorCertificate(testing::HttpsServer::certificatePEM()).ok());
    } else {
      removeTrustedAnchorCertificates();
    }
    auto recorder = connect("127.0.0.1", server.port());
    ASSERT_TRUE(testing::runMainLoopUntil([&] {
      return recorder->count(true, StreamEvent::OpenCompleted) +
                 recorder->count(true, StreamEvent::ErrorOccurred) >
             0;
    }));
    EXPECT_EQ(recorder->count(true, StreamEvent::OpenCompleted), trusted ? 1 : 0);
    const std::optional<Error> error = recorder->pair->input->streamError();
    EXPECT_EQ(error.has_value(), !trusted);
    if (error) {
      EXPECT_EQ(error->code(), kURLErrorServerCertificateUntrusted);
    }
    recorder->pair->input->close();
    recorder->pair->output->close();
  }
}

TEST_F(SocketStreamTest, ReportsAHostThatRefusesTheConnection) {
  // A port that was just free: bound, then released.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(probe);

  auto recorder = connect("127.0.0.1", ntohs(address.sin_port));
  ASSERT_TRUE(testing::runMainLoopUntil(
      [&] { return recorder->count(true, StreamEvent::ErrorOccurred) > 0; }));
  EXPECT_EQ(recorder->pair->input->streamError()->code(), kURLErrorCannotConnectToHost);
  EXPECT_FALSE(makeTLSStreamPair("", 5228).has_value());
  EXPECT_FALSE(makeTLSStreamPair("127.0.0.1", 0).has_value());
}

TEST_F(SocketStreamTest, ReadsEveryRecordOfAServerThatWritesByteByByte) {
  const std::string text = "split into one record per byte";
  TLSServer server([&](TLSServer::Connection& connection) {
    for (char byte : text) connection.write(std::string_view(&byte, 1));
    connection.close();
  });
  auto recorder = connect("127.0.0.1", server.port());
  ASSERT_TRUE(testing::runMainLoopUntil(
      [&] { return recorder->count(true, StreamEvent::EndEncountered) > 0; }));
  EXPECT_EQ(stringOf(recorder->received), text);
}

TEST_F(SocketStreamTest, AWriteTheSocketCannotTakeAtOnceFinishesOnLaterSpaceEvents) {
  std::atomic<bool> mayRead{false};
  Bytes arrived;
  Bytes big(16 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  TLSServer server([&](TLSServer::Connection& connection) {
    while (!mayRead.load()) std::this_thread::yield();
    arrived = connection.read(big.size());
    connection.close();
  });
  auto recorder = connect("127.0.0.1", server.port());
  size_t sent = 0;
  bool stalled = false;
  recorder->onEvent = [&](bool input, StreamEvent event) {
    if (input || event != StreamEvent::HasSpaceAvailable) return false;
    EXPECT_TRUE(writeAll(*recorder->pair->output, big, sent));
    stalled = stalled || (sent > 0 && sent < big.size());
    return true;
  };
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return sent > 0; }));
  testing::drainMainLoop();
  EXPECT_TRUE(stalled);
  EXPECT_LT(sent, big.size());
  EXPECT_FALSE(recorder->pair->output->hasSpaceAvailable());
  mayRead = true;
  ASSERT_TRUE(testing::runMainLoopUntil(
      [&] { return recorder->count(true, StreamEvent::EndEncountered) > 0; }, seconds(30)));
  EXPECT_EQ(sent, big.size());
  EXPECT_TRUE(arrived == big);
}

TEST_F(SocketStreamTest, ADelegateThatDropsTheStreamsMidEventHearsNothingMore) {
  TLSServer server([](TLSServer::Connection& connection) {
    connection.write("first");
    connection.read(1);  // holds the connection until the client goes
  });
  auto recorder = connect("127.0.0.1", server.port());
  recorder->onEvent = [&](bool input, StreamEvent event) {
    if (!input || event != StreamEvent::HasBytesAvailable) return false;
    recorder->pair->input->close();
    recorder->pair->output->close();
    recorder->pair.reset();
    return true;
  };
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return !recorder->pair.has_value(); }));
  const size_t seen = recorder->events.size();
  testing::drainMainLoop();
  EXPECT_EQ(recorder->events.size(), seen);
}

}  // namespace
}  // namespace platform::net
