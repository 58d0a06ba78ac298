#pragma once

// The messaging stream over one TLS connection: writes the version byte and the queued messages
// as frames, checks the peer's version byte, reassembles incoming frames from reads of any size
// and hands each to its delegate. One connection per socket: a new sign-in makes a new socket.
// Main thread only; it runs on the main loop and calls its delegate synchronously from the
// streams' events, holding a reference to it for the length of each call. A delegate may
// disconnect (or drop the socket) from inside any call.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/connection/zcm_packet.h"
#include "messaging/wire/frame_reassembler.h"
#include "platform/net/socket_stream.h"

class ZCMSecureSocket;

class ZCMSecureSocketDelegate {
 public:
  virtual ~ZCMSecureSocketDelegate() = default;
  // A whole frame arrived: its message bytes (valid during the call) and tag.
  virtual void secureSocket(ZCMSecureSocket& socket, std::string_view data, int8_t tag) = 0;
  // The last byte of a queued message's frame was written.
  virtual void secureSocket(ZCMSecureSocket& socket, int8_t tag,
                            const std::optional<std::string>& rmqId) = 0;
  virtual void secureSocketDidConnect(ZCMSecureSocket& socket) = 0;
  virtual void didDisconnectWithSecureSocket(ZCMSecureSocket& socket) = 0;
};

class ZCMSecureSocket final : public platform::net::StreamDelegate,
                              public std::enable_shared_from_this<ZCMSecureSocket> {
 public:
  enum State : unsigned {
    kStateIdle = 0,
    kStateConnecting = 1,
    kStateConnected = 2,
    kStateDisconnecting = 3,
    kStateDisconnected = 4,
  };

  static std::shared_ptr<ZCMSecureSocket> make();
  ~ZCMSecureSocket() override;

  void setDelegate(std::weak_ptr<ZCMSecureSocketDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  unsigned state() const { return state_; }

  // In the idle state only: connects to the host (with TLS) on the main loop.
  void connectToHost(const std::string& host, uint16_t port);
  // Queues a message; it is written once the streams are open.
  void sendData(std::string data, int8_t tag, std::optional<std::string> rmqId);
  // Closes both streams and tells the delegate; nothing when disconnecting or never connected.
  void disconnect();

  void streamHandleEvent(platform::net::SocketStream& stream,
                         platform::net::StreamEvent event) override;

 private:
  ZCMSecureSocket() = default;
  void openStream(platform::net::SocketStream* stream);
  static void closeStream(platform::net::SocketStream* stream);
  void performWrite();
  void writeBuffers();
  bool performRead();
  // The delegate, when the socket is still connected (it may have disconnected meanwhile).
  std::shared_ptr<ZCMSecureSocketDelegate> connectedDelegate() const;
  // Whether `held` is the delegate set now.
  bool isDelegate(const std::shared_ptr<ZCMSecureSocketDelegate>& held) const;

  std::weak_ptr<ZCMSecureSocketDelegate> delegate_;
  unsigned state_ = kStateIdle;
  std::shared_ptr<platform::net::SocketInputStream> inStream_;
  std::shared_ptr<platform::net::SocketOutputStream> outStream_;
  ZCMFrameReassembler input_;
  // A frame in the output buffer: where its last byte ends, and what to report once written.
  struct FrameInBuffer {
    size_t end;
    int8_t tag;
    std::optional<std::string> rmqId;
  };
  // The bytes being written: the version byte at the head of the first buffer, then the frames
  // that were queued when the buffer was filled, so that messages made together (the
  // acknowledgements of one read) go out in one write.
  std::string outputBuffer_;
  size_t outputBufferLength_ = 0;
  std::deque<FrameInBuffer> framesInBuffer_;
  ZCMPacketQueue packetQueue_;
  // While frames of one read are handed out, messages sent meanwhile wait for the read's end;
  // while a write step runs, for its next buffer.
  bool isReading_ = false;
  bool isWriting_ = false;
  bool isVersionSent_ = false;
  bool isVersionReceived_ = false;
  bool isInStreamOpen_ = false;
  bool isOutStreamOpen_ = false;
};
