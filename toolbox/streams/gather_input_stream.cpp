#include "toolbox/streams/gather_input_stream.h"

#include <algorithm>
#include <cstring>

ZSDK_ZTMGatherInputStream::ZSDK_ZTMGatherInputStream(Buffers buffers)
    : buffers_(std::move(buffers)) {}

std::shared_ptr<ZSDK_ZTMGatherInputStream> ZSDK_ZTMGatherInputStream::streamWithArray(
    Buffers buffers) {
  return std::make_shared<ZSDK_ZTMGatherInputStream>(std::move(buffers));
}

void ZSDK_ZTMGatherInputStream::open() {
  index_ = 0;
  offset_ = 0;
  status_ = ZTMStreamStatus::Open;
}

void ZSDK_ZTMGatherInputStream::close() { status_ = ZTMStreamStatus::Closed; }

bool ZSDK_ZTMGatherInputStream::rewind() {
  setAbsoluteOffset(0);
  if (status_ == ZTMStreamStatus::AtEnd) status_ = ZTMStreamStatus::Open;
  return true;
}

int64_t ZSDK_ZTMGatherInputStream::read(uint8_t* buffer, size_t capacity) {
  size_t copied = 0;
  while (copied < capacity && index_ < buffers_.size()) {
    const platform::Bytes empty;
    const platform::Bytes& current = buffers_[index_] ? *buffers_[index_] : empty;
    const size_t count = std::min(capacity - copied, current.size() - static_cast<size_t>(offset_));
    if (count > 0) std::memcpy(buffer + copied, current.data() + offset_, count);
    copied += count;
    offset_ += static_cast<int64_t>(count);
    if (static_cast<size_t>(offset_) >= current.size()) {
      ++index_;
      offset_ = 0;
    }
  }
  if (index_ >= buffers_.size()) status_ = ZTMStreamStatus::AtEnd;
  return static_cast<int64_t>(copied);
}

int64_t ZSDK_ZTMGatherInputStream::length() const {
  int64_t total = 0;
  for (const auto& buffer : buffers_) total += buffer ? static_cast<int64_t>(buffer->size()) : 0;
  return total;
}

int64_t ZSDK_ZTMGatherInputStream::absoluteOffset() const {
  int64_t total = offset_;
  for (size_t at = 0; at < index_ && at < buffers_.size(); ++at) {
    total += buffers_[at] ? static_cast<int64_t>(buffers_[at]->size()) : 0;
  }
  return total;
}

void ZSDK_ZTMGatherInputStream::setAbsoluteOffset(int64_t offset) {
  index_ = 0;
  offset_ = std::max<int64_t>(offset, 0);
  while (index_ < buffers_.size()) {
    const int64_t size = buffers_[index_] ? static_cast<int64_t>(buffers_[index_]->size()) : 0;
    if (size > offset_) return;
    offset_ -= size;
    ++index_;
  }
  offset_ = 0;
}
