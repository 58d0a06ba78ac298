#include "platform/net/socket_stream.h"

#include "platform/dispatch/main_thread_check.h"
#include "platform/net/tls_connection.h"

namespace platform::net {

SocketStream::SocketStream(std::shared_ptr<TLSConnection> connection, StreamSide side)
    : connection_(std::move(connection)), side_(side) {
  connection_->attach(side_, this);
}

SocketStream::~SocketStream() { connection_->attach(side_, nullptr); }

void SocketStream::setDelegate(std::weak_ptr<StreamDelegate> delegate) {
  VKR_ASSERT_MAIN_THREAD();
  connection_->setDelegate(side_, std::move(delegate));
}

void SocketStream::open() {
  VKR_ASSERT_MAIN_THREAD();
  connection_->open(side_);
}

void SocketStream::close() {
  VKR_ASSERT_MAIN_THREAD();
  connection_->close(side_);
}

StreamStatus SocketStream::streamStatus() const { return connection_->status(side_); }

std::optional<Error> SocketStream::streamError() const {
  if (streamStatus() != StreamStatus::Error) return std::nullopt;
  return connection_->error();
}

int64_t SocketInputStream::read(uint8_t* buffer, size_t capacity) {
  VKR_ASSERT_MAIN_THREAD();
  return connection_->read(buffer, capacity);
}

bool SocketInputStream::hasBytesAvailable() const { return connection_->hasBytesAvailable(); }

int64_t SocketOutputStream::write(const uint8_t* bytes, size_t length) {
  VKR_ASSERT_MAIN_THREAD();
  return connection_->write(bytes, length);
}

bool SocketOutputStream::hasSpaceAvailable() const { return connection_->hasSpaceAvailable(); }

std::optional<SocketStreamPair> makeTLSStreamPair(const std::string& host, uint16_t port) {
  if (host.empty() || port == 0) return std::nullopt;
  auto connection = std::make_shared<TLSConnection>(host, port);
  return SocketStreamPair{std::make_shared<SocketInputStream>(connection),
                          std::make_shared<SocketOutputStream>(connection)};
}

}  // namespace platform::net
