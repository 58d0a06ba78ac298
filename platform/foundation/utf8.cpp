#include "platform/foundation/utf8.h"

#include <cstdint>
#include <cstring>

namespace platform {

size_t utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  uint8_t lead = byte(i);
  size_t length;
  uint32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  uint32_t cp = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

bool isValidUTF8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII, the bulk of most texts, are passed eight bytes at a time.
    uint64_t word;
    while (i + sizeof word <= text.size() &&
           (std::memcpy(&word, text.data() + i, sizeof word), (word & 0x8080808080808080) == 0)) {
      i += sizeof word;
    }
    if (i == text.size()) break;
    if (static_cast<uint8_t>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace platform
