#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "messaging/wire/frame.h"

// Collects the bytes of the messaging stream from reads of any size and takes whole frames off
// the front. The buffer starts at 16 KiB and grows in 16 KiB steps when a read fills it; a frame
// never needs more than kZCMMaxFrameSize, so it never grows past that. Reads go straight into the
// buffer: spaceForRead(), then didRead() with the count. Frames are pulled one at a time, so a
// caller that stops in the middle (its connection closed) leaves nothing half-handled.
// Not thread-safe: one reader owns it.
class ZCMFrameReassembler {
 public:
  static constexpr size_t kInitialCapacity = 16384;
  static constexpr size_t kCapacityStep = 16384;

  ZCMFrameReassembler();

  // Where the next read goes: the buffer moves the unconsumed bytes to its front or grows when it
  // is full. Pull the frames already received first (nextFrame() until kIncomplete): the space
  // is empty only when a full buffer at kZCMMaxFrameSize still holds unpulled frames.
  std::span<char> spaceForRead();
  // Takes `count` bytes written at the start of the last space handed out.
  void didRead(size_t count);

  // The next whole frame, consumed from the front; kIncomplete until more bytes arrive;
  // kProtocolError when the bytes can never form a frame (see ZCMExtractFrame). The frame's data
  // is a view into the buffer, valid until the next spaceForRead().
  ZCMFrameExtraction nextFrame();

  // Copies the bytes in through spaceForRead/didRead and appends every frame they complete.
  // False on a protocol error, after appending the frames before it.
  bool feed(std::string_view bytes, std::vector<ZCMFrame>* frames);

  // Bytes received and not yet taken as frames.
  size_t bufferedLength() const { return end_ - start_; }
  size_t capacity() const { return buffer_.size(); }

 private:
  std::vector<char> buffer_;
  size_t start_ = 0;  // the first unconsumed byte
  size_t end_ = 0;    // one past the last received byte
};
