#include "messaging/wire/coded_input_stream.h"

namespace {

constexpr int kMaxVarintBytes = 10;
// Bytes that carry bits of the 32-bit value; later ones only end the varint.
constexpr int kValueVarintBytes = 5;

}  // namespace

bool ZCMCodedInputStream::readTag(int8_t* tag) {
  if (bufferPos_ >= buffer_.size()) return false;
  *tag = static_cast<int8_t>(buffer_[bufferPos_++]);
  return true;
}

ZCMCodedInputStream::Read ZCMCodedInputStream::readLength(int32_t* length) {
  uint32_t value = 0;
  for (int index = 0; index < kMaxVarintBytes; ++index) {
    if (bufferPos_ >= buffer_.size()) return Read::kEndOfData;
    const auto byte = static_cast<uint8_t>(buffer_[bufferPos_++]);
    // Bits past the 32nd fall off, as they do for any protobuf varint32.
    if (index < kValueVarintBytes) value |= static_cast<uint32_t>(byte & 0x7F) << (7 * index);
    if ((byte & 0x80) == 0) {
      *length = static_cast<int32_t>(value);
      return Read::kOk;
    }
  }
  return Read::kMalformed;
}

std::optional<std::string_view> ZCMCodedInputStream::readDataWithLength(uint32_t count) {
  if (buffer_.size() - bufferPos_ < count) return std::nullopt;
  std::string_view data = buffer_.substr(bufferPos_, count);
  bufferPos_ += count;
  return data;
}
