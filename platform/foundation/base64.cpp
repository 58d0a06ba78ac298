#include "platform/foundation/base64.h"

#include <array>

namespace platform {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr std::array<int8_t, 256> kDecode = makeDecodeTable();
}  // namespace

std::string base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  out.resize((size + 2) / 3 * 4);
  char* o = out.data();
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    uint32_t n = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    *o++ = kAlphabet[(n >> 18) & 63];
    *o++ = kAlphabet[(n >> 12) & 63];
    *o++ = kAlphabet[(n >> 6) & 63];
    *o++ = kAlphabet[n & 63];
  }
  if (size - i == 1) {
    uint32_t n = uint32_t{data[i]} << 16;
    *o++ = kAlphabet[(n >> 18) & 63];
    *o++ = kAlphabet[(n >> 12) & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (size - i == 2) {
    uint32_t n = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8);
    *o++ = kAlphabet[(n >> 18) & 63];
    *o++ = kAlphabet[(n >> 12) & 63];
    *o++ = kAlphabet[(n >> 6) & 63];
    *o++ = '=';
  }
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t dataChars = last ? 4 - padding : 4;
    uint32_t n = 0;
    for (size_t k = 0; k < 4; ++k) {
      int8_t v = 0;
      if (k < dataChars) {
        v = kDecode[static_cast<uint8_t>(text[i + k])];
        if (v < 0) return std::nullopt;
      }
      n = (n << 6) | static_cast<uint32_t>(v);
    }
    out.push_back(static_cast<uint8_t>(n >> 16));
    if (dataChars > 2) out.push_back(static_cast<uint8_t>(n >> 8));
    if (dataChars > 3) out.push_back(static_cast<uint8_t>(n));
  }
  return out;
}

}  // namespace platform
