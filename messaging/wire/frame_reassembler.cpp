#include "messaging/wire/frame_reassembler.h"

#include <algorithm>
#include <cstring>

ZCMFrameReassembler::ZCMFrameReassembler() : buffer_(kInitialCapacity) {}

std::span<char> ZCMFrameReassembler::spaceForRead() {
  if (end_ == buffer_.size()) {
    if (start_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    } else if (buffer_.size() < kZCMMaxFrameSize) {
      // With the frames pulled, a full buffer holds one unfinished frame, which nextFrame() has
      // checked fits in kZCMMaxFrameSize: a multiple of the step, so growth stays within it.
      buffer_.resize(buffer_.size() + kCapacityStep);
    }
  }
  return {buffer_.data() + end_, buffer_.size() - end_};
}

void ZCMFrameReassembler::didRead(size_t count) { end_ += std::min(count, buffer_.size() - end_); }

ZCMFrameExtraction ZCMFrameReassembler::nextFrame() {
  ZCMFrameExtraction extraction =
      ZCMExtractFrame(std::string_view(buffer_.data() + start_, end_ - start_));
  if (extraction.status == ZCMFrameExtraction::kFrame) {
    start_ += extraction.consumed;
    if (start_ == end_) start_ = end_ = 0;
  }
  return extraction;
}

bool ZCMFrameReassembler::feed(std::string_view bytes, std::vector<ZCMFrame>* frames) {
  while (true) {
    for (ZCMFrameExtraction next = nextFrame(); next.status != ZCMFrameExtraction::kIncomplete;
         next = nextFrame()) {
      if (next.status == ZCMFrameExtraction::kProtocolError) return false;
      frames->push_back({next.tag, std::string(next.data)});
    }
    if (bytes.empty()) return true;
    std::span<char> space = spaceForRead();
    const size_t count = std::min(space.size(), bytes.size());
    std::copy_n(bytes.begin(), count, space.begin());
    didRead(count);
    bytes.remove_prefix(count);
  }
}
