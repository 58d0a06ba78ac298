#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reads the parts of a frame (tag byte, length varint, message bytes) from the front of a byte
// buffer, never past its end. The buffer is borrowed: it must outlive the reader.
class ZCMCodedInputStream {
 public:
  enum class Read {
    kOk,
    kEndOfData,  // the bytes ran out first: more may still arrive
    kMalformed,  // no further bytes can make this valid
  };

  explicit ZCMCodedInputStream(std::string_view data) : buffer_(data) {}
  explicit ZCMCodedInputStream(std::string&& data) = delete;  // would outlive its bytes

  // The next byte as a signed tag, or false (position unchanged) when no byte is left.
  bool readTag(int8_t* tag);
  // A base-128 varint of up to ten bytes whose low 32 bits are the length. On kEndOfData the
  // position stays after the last byte read; ten bytes that all continue are kMalformed.
  Read readLength(int32_t* length);
  // The next `count` bytes (a view into the buffer), or nothing (position unchanged) when fewer
  // are left.
  std::optional<std::string_view> readDataWithLength(uint32_t count);

  uint64_t offset() const { return bufferPos_; }

 private:
  std::string_view buffer_;
  uint64_t bufferPos_ = 0;
};
