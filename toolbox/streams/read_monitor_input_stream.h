#pragma once

// ZSDK_ZTMReadMonitorInputStream: wraps another input stream and reports every chunk read to a
// read delegate, always on the queue the monitor was made for (the main queue unless given).
// Reads on that queue report the caller's bytes at once; reads elsewhere report a private copy
// later. Every other stream operation goes to the wrapped stream. Thread-safe in that the reader
// may be any thread; one reader at a time.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/input_stream.h"

class ZSDK_ZTMReadMonitorInputStream
    : public platform::net::InputStream,
      public std::enable_shared_from_this<ZSDK_ZTMReadMonitorInputStream> {
 public:
  // (the monitor, the bytes just read, their count)
  using ReadCallback =
      std::function<void(ZSDK_ZTMReadMonitorInputStream&, const uint8_t* bytes, int64_t length)>;

  explicit ZSDK_ZTMReadMonitorInputStream(std::shared_ptr<platform::net::InputStream> stream,
                                          platform::QueuePtr deliveryQueue = platform::mainQueue());
  static std::shared_ptr<ZSDK_ZTMReadMonitorInputStream> inputStreamWithStream(
      std::shared_ptr<platform::net::InputStream> stream);

  // The callback runs only while the delegate lives.
  void setReadDelegate(std::weak_ptr<void> delegate, ReadCallback callback);
  const std::shared_ptr<platform::net::InputStream>& wrappedStream() const { return stream_; }

  void open() override;
  void close() override;
  int64_t read(uint8_t* buffer, size_t capacity) override;
  bool hasBytesAvailable() const override;
  std::optional<platform::Error> streamError() const override;
  void setWaker(std::function<void()> waker) override;
  int64_t length() const override;
  bool rewind() override;

 private:
  void invokeReadCallback(const uint8_t* bytes, int64_t length);

  const std::shared_ptr<platform::net::InputStream> stream_;
  const platform::QueuePtr deliveryQueue_;
  mutable platform::Mutex mutex_;
  std::weak_ptr<void> readDelegate_ VKR_GUARDED_BY(mutex_);
  ReadCallback readCallback_ VKR_GUARDED_BY(mutex_);
};
