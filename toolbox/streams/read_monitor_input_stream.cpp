#include "toolbox/streams/read_monitor_input_stream.h"

#include "platform/foundation/value.h"

ZSDK_ZTMReadMonitorInputStream::ZSDK_ZTMReadMonitorInputStream(
    std::shared_ptr<platform::net::InputStream> stream, platform::QueuePtr deliveryQueue)
    : stream_(std::move(stream)), deliveryQueue_(std::move(deliveryQueue)) {}

std::shared_ptr<ZSDK_ZTMReadMonitorInputStream>
ZSDK_ZTMReadMonitorInputStream::inputStreamWithStream(
    std::shared_ptr<platform::net::InputStream> stream) {
  return std::make_shared<ZSDK_ZTMReadMonitorInputStream>(std::move(stream));
}

void ZSDK_ZTMReadMonitorInputStream::setReadDelegate(std::weak_ptr<void> delegate,
                                                     ReadCallback callback) {
  platform::MutexLock lock(mutex_);
  readDelegate_ = std::move(delegate);
  readCallback_ = std::move(callback);
}

int64_t ZSDK_ZTMReadMonitorInputStream::read(uint8_t* buffer, size_t capacity) {
  if (!stream_) return -1;
  const int64_t result = stream_->read(buffer, capacity);
  if (result < 1) return result;
  {
    platform::MutexLock lock(mutex_);
    if (!readCallback_ || readDelegate_.expired()) return result;
  }
  if (deliveryQueue_->isCurrent()) {
    invokeReadCallback(buffer, result);
  } else {
    deliveryQueue_->async(
        [self = shared_from_this(), copy = platform::Bytes(buffer, buffer + result)] {
          self->invokeReadCallback(copy.data(), static_cast<int64_t>(copy.size()));
        });
  }
  return result;
}

void ZSDK_ZTMReadMonitorInputStream::invokeReadCallback(const uint8_t* bytes, int64_t length) {
  ReadCallback callback;
  std::shared_ptr<void> delegate;
  {
    platform::MutexLock lock(mutex_);
    delegate = readDelegate_.lock();
    callback = readCallback_;
  }
  if (delegate && callback) callback(*this, bytes, length);
}

void ZSDK_ZTMReadMonitorInputStream::open() {
  if (stream_) stream_->open();
}
void ZSDK_ZTMReadMonitorInputStream::close() {
  if (stream_) stream_->close();
}
bool ZSDK_ZTMReadMonitorInputStream::hasBytesAvailable() const {
  return stream_ && stream_->hasBytesAvailable();
}
std::optional<platform::Error> ZSDK_ZTMReadMonitorInputStream::streamError() const {
  return stream_ ? stream_->streamError() : std::nullopt;
}
void ZSDK_ZTMReadMonitorInputStream::setWaker(std::function<void()> waker) {
  if (stream_) stream_->setWaker(std::move(waker));
}
int64_t ZSDK_ZTMReadMonitorInputStream::length() const { return stream_ ? stream_->length() : -1; }
bool ZSDK_ZTMReadMonitorInputStream::rewind() { return stream_ && stream_->rewind(); }
