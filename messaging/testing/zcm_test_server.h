#pragma once

// A messaging server on 127.0.0.1 for tests: TLS with the test certificate (trusted once a test
// adds HttpsServer::certificatePEM() as an anchor), speaking the frame protocol. Each connection
// runs a script, on a thread of its own, of frames it expects and frames it sends. The server
// stops when destroyed.

#include <google/protobuf/message_lite.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/frame.h"
#include "messaging/wire/frame_reassembler.h"
#include "platform/testing/tls_server.h"

class ZCMTestServer {
 public:
  class Session {
   public:
    // The client's version byte; false when something else (or nothing) came.
    bool readVersion();
    // Exactly `count` bytes as they come, unframed (for frames past the size a reader accepts).
    std::string readBytes(size_t count) { return platform::stringOf(tls_.read(count)); }
    // The client's next frame; nothing once the connection ended or the bytes don't frame.
    std::optional<ZCMFrame> readFrame();
    // The next frame parsed as the message type M; nothing when it is another type or none.
    template <typename M>
    std::optional<M> expect() {
      std::optional<ZCMFrame> frame = readFrame();
      M message;
      if (!frame || frame->tag != tagOf(message) || !message.ParseFromString(frame->data)) {
        return std::nullopt;
      }
      return message;
    }
    // Reads the version byte and the login request, then answers with the version byte and a
    // login response (without error). Nothing when the client did not log in.
    std::optional<DudevLoginRequest> acceptLogin();

    // The bytes of the version byte and of the frame of a message, to send at will.
    static std::string versionByte();
    static std::string frameOf(const google::protobuf::MessageLite& message);
    bool send(const google::protobuf::MessageLite& message) { return sendBytes(frameOf(message)); }
    // One TLS record per call: the client sees the bytes in one read or more.
    bool sendBytes(std::string_view bytes) { return tls_.write(bytes); }
    void close() { tls_.close(); }
    bool waitForClose() { return tls_.waitForClose(); }

   private:
    friend class ZCMTestServer;
    explicit Session(platform::testing::TLSServer::Connection& tls) : tls_(tls) {}
    static int8_t tagOf(const google::protobuf::MessageLite& message);

    platform::testing::TLSServer::Connection& tls_;
    ZCMFrameReassembler reassembler_;
    std::deque<ZCMFrame> frames_;
    std::string pendingVersion_;
  };
  using Script = std::function<void(Session&)>;

  explicit ZCMTestServer(Script script);
  uint16_t port() const { return tls_.port(); }
  int sessions() const { return tls_.sessions(); }

 private:
  Script script_;
  platform::testing::TLSServer tls_;
};

// A downstream data message as a server sends it: sender, app category, persistent id (none when
// empty) and the app data in order.
DudevDataMessageStanza ZCMTestDataMessage(
    const std::string& from, const std::string& category, const std::string& persistentId,
    const std::vector<std::pair<std::string, std::string>>& appData);
