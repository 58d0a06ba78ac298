#pragma once

// A TLS connection to a host and port as a pair of byte streams, one to read and one to write,
// driven by the main loop. Each stream reports its events to its delegate: open completed (after
// the TCP connection and the TLS handshake succeeded), bytes available, space available, error
// occurred and end encountered. Bytes- and space-available come once until the stream is read
// or written again. Reads and writes never block and may move fewer bytes than asked.
//
// Main thread only. The server's certificate is checked against the system's anchors (default
// CA paths) and those added with addTrustedAnchorCertificate(), and must name the host.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"

namespace platform::net {

class TLSConnection;

enum class StreamSide { Input, Output };

enum class StreamStatus { NotOpen, Opening, Open, AtEnd, Closed, Error };

enum class StreamEvent {
  OpenCompleted,
  HasBytesAvailable,
  HasSpaceAvailable,
  ErrorOccurred,
  EndEncountered,
};

class SocketStream;

class StreamDelegate {
 public:
  virtual ~StreamDelegate() = default;
  // May close either stream or drop every reference to them.
  virtual void streamHandleEvent(SocketStream& stream, StreamEvent event) = 0;
};

class SocketStream {
 public:
  virtual ~SocketStream();
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  void setDelegate(std::weak_ptr<StreamDelegate> delegate);
  // From NotOpen only; the first stream opened starts connecting.
  void open();
  // No further events; the connection ends when both streams are closed or gone.
  void close();
  StreamStatus streamStatus() const;
  // Why the stream is in the Error status.
  std::optional<Error> streamError() const;

 protected:
  SocketStream(std::shared_ptr<TLSConnection> connection, StreamSide side);

  std::shared_ptr<TLSConnection> connection_;
  StreamSide side_;
};

class SocketInputStream final : public SocketStream {
 public:
  static constexpr int64_t kWouldBlock = -2;

  explicit SocketInputStream(std::shared_ptr<TLSConnection> connection)
      : SocketStream(std::move(connection), StreamSide::Input) {}

  // Up to `capacity` bytes: the count read, 0 at the end, -1 on an error (see streamError()) or
  // kWouldBlock when nothing can be read now.
  int64_t read(uint8_t* buffer, size_t capacity);
  // True when a read may give bytes (also when only reading can tell).
  bool hasBytesAvailable() const;
};

class SocketOutputStream final : public SocketStream {
 public:
  explicit SocketOutputStream(std::shared_ptr<TLSConnection> connection)
      : SocketStream(std::move(connection), StreamSide::Output) {}

  // The count of the first bytes taken (possibly fewer than `length`), 0 when there is no room
  // now, -1 on an error (see streamError()).
  int64_t write(const uint8_t* bytes, size_t length);
  // True when a write may take bytes (also when only writing can tell).
  bool hasSpaceAvailable() const;
};

struct SocketStreamPair {
  std::shared_ptr<SocketInputStream> input;
  std::shared_ptr<SocketOutputStream> output;
};

// The two streams of one TLS connection to the host (a name or an IP address) and port; nothing
// when the host is empty or the port is 0. Nothing connects until a stream is opened.
std::optional<SocketStreamPair> makeTLSStreamPair(const std::string& host, uint16_t port);

}  // namespace platform::net
