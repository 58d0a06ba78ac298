#pragma once

// Internal to the net module: the TLS connection behind a socket stream pair. GIO resolves the
// host and connects without blocking; OpenSSL runs the handshake and the records over the
// socket, which one source of the main loop watches.

#include <gio/gio.h>

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/c_handles.h"
#include "platform/net/socket_stream.h"

namespace platform::net {

class TLSConnection : public std::enable_shared_from_this<TLSConnection> {
 public:
  TLSConnection(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}
  ~TLSConnection();
  TLSConnection(const TLSConnection&) = delete;
  TLSConnection& operator=(const TLSConnection&) = delete;

  // The stream object that stands for a side; nullptr when it goes away.
  void attach(StreamSide side, SocketStream* stream);
  void setDelegate(StreamSide side, std::weak_ptr<StreamDelegate> delegate);
  void open(StreamSide side);
  void close(StreamSide side);
  StreamStatus status(StreamSide side) const { return at(side).status; }
  std::optional<Error> error() const { return error_; }

  int64_t read(uint8_t* buffer, size_t capacity);
  bool hasBytesAvailable() const;
  int64_t write(const uint8_t* bytes, size_t length);
  bool hasSpaceAvailable() const;

 private:
  enum class Phase { Idle, Connecting, Handshaking, Established, Finished };
  struct Side {
    StreamStatus status = StreamStatus::NotOpen;
    std::weak_ptr<StreamDelegate> delegate;
    SocketStream* stream = nullptr;
    // Bytes or space available was told and the stream was not read or written since.
    bool told = false;
  };
  struct WatchSource;

  Side& at(StreamSide side) { return sides_[static_cast<size_t>(side)]; }
  const Side& at(StreamSide side) const { return sides_[static_cast<size_t>(side)]; }

  void startConnecting();
  static void onConnected(GObject* client, GAsyncResult* result, gpointer data);
  void startHandshake(GObjectPtr<GSocketConnection> tcp);
  void continueHandshake();
  void onReady(GIOCondition condition);
  void flushPendingWrite();
  void watchFor(GIOCondition condition);
  void updateWatch();
  // Event delivery: now (from the main loop's own callbacks), or on a later turn (from inside a
  // read or write the delegate made).
  void deliver(StreamSide side, StreamEvent event);
  void post(StreamSide side, StreamEvent event);
  void postRecheck();
  void onPosted();
  void fail(Error error, bool now);
  void endTransport();
  bool anySideActive() const;
  bool pollFor(short events) const;

  std::string host_;
  uint16_t port_;
  Phase phase_ = Phase::Idle;
  std::array<Side, 2> sides_;
  std::optional<Error> error_;

  GObjectPtr<GCancellable> cancellable_;
  GObjectPtr<GSocketConnection> tcp_;
  int fd_ = -1;
  SSLPtr ssl_;
  WatchSource* watch_ = nullptr;
  gpointer fdTag_ = nullptr;
  GIOCondition watched_ = GIOCondition(0);

  // Bytes a write took that OpenSSL must be given again, unchanged, once the socket is ready.
  Bytes pendingWrite_;
  bool pendingWriteWantsRead_ = false;
  bool readWantsWrite_ = false;

  std::deque<std::pair<StreamSide, StreamEvent>> posted_;
  bool postScheduled_ = false;
  bool recheck_ = false;
};

}  // namespace platform::net
