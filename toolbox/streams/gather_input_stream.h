#pragma once

// ZSDK_ZTMGatherInputStream: reads a list of byte buffers one after another as if they were one,
// with a settable absolute position. Not synchronised: one reader at a time.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/net/input_stream.h"

enum class ZTMStreamStatus : unsigned { NotOpen = 0, Open = 2, AtEnd = 5, Closed = 6 };

class ZSDK_ZTMGatherInputStream : public platform::net::InputStream {
 public:
  using Buffers = std::vector<std::shared_ptr<const platform::Bytes>>;

  explicit ZSDK_ZTMGatherInputStream(Buffers buffers);
  static std::shared_ptr<ZSDK_ZTMGatherInputStream> streamWithArray(Buffers buffers);

  void open() override;
  void close() override;
  int64_t read(uint8_t* buffer, size_t capacity) override;
  bool hasBytesAvailable() const override { return true; }
  int64_t length() const override;
  bool rewind() override;

  ZTMStreamStatus streamStatus() const { return status_; }
  // The position from the first byte of the first buffer.
  int64_t absoluteOffset() const;
  // Negative values start from the first byte; values past the end put the position at the end.
  void setAbsoluteOffset(int64_t offset);

 private:
  Buffers buffers_;
  size_t index_ = 0;
  int64_t offset_ = 0;
  ZTMStreamStatus status_ = ZTMStreamStatus::NotOpen;
};
