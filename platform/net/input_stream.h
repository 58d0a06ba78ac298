#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform::net {

// A source of request-body bytes read in pieces. Reads never block: a stream whose producer has
// not written yet answers kWouldBlock and calls its waker once bytes (or the end) are ready.
// One reader at a time; the reader may be another thread than the one that made the stream.
class InputStream {
 public:
  static constexpr int64_t kWouldBlock = -2;

  virtual ~InputStream() = default;

  virtual void open() {}
  virtual void close() {}
  // Up to `capacity` bytes into `buffer`: the count read, 0 at the end, -1 on an error (see
  // streamError()) or kWouldBlock.
  virtual int64_t read(uint8_t* buffer, size_t capacity) = 0;
  // True while a read may give bytes (also when it could only tell by reading).
  virtual bool hasBytesAvailable() const = 0;
  virtual std::optional<Error> streamError() const { return std::nullopt; }
  // The callback to run (on any thread) when a read that would block can go on.
  virtual void setWaker(std::function<void()> waker) { (void)waker; }
  // Total length when known in advance, else -1.
  virtual int64_t length() const { return -1; }
  // Starts again from the first byte; false when the stream cannot.
  virtual bool rewind() { return false; }
};

// A stream over bytes held in memory.
std::shared_ptr<InputStream> makeDataInputStream(Bytes data);
// A stream over a file's bytes; opening a file that cannot be read sets the stream's error.
std::shared_ptr<InputStream> makeFileInputStream(std::filesystem::path path);

}  // namespace platform::net
