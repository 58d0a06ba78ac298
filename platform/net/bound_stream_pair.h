#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/net/input_stream.h"

namespace platform::net {

// The writing end of a bound stream pair. Writes block while the pair's buffer is full.
class OutputStream {
 public:
  virtual ~OutputStream() = default;

  // False when the stream can't be written (its reading end is closed).
  virtual bool open() = 0;
  // Writes up to `count` bytes, waiting for room: the count taken, or -1 once the reading end
  // is closed (see streamError()).
  virtual int64_t write(const uint8_t* bytes, size_t count) = 0;
  // Ends the stream: the reader sees the end once it has read what was written.
  virtual void close() = 0;
  virtual std::optional<Error> streamError() const = 0;
};

// Two streams joined by a buffer of a fixed size: what is written to `output` is read from
// `input`. One writer thread and one reader thread; closing either end releases the other. The
// input stream announces `length` as its length (-1: unknown), as a body's size.
struct BoundStreamPair {
  std::shared_ptr<InputStream> input;
  std::shared_ptr<OutputStream> output;
};

BoundStreamPair makeBoundStreamPair(size_t bufferSize, int64_t length = -1);

}  // namespace platform::net
