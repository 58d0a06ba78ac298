#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace platform {

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64Encode(const uint8_t* data, size_t size);
inline std::string base64Encode(const Bytes& bytes) {
  return base64Encode(bytes.data(), bytes.size());
}
inline std::string base64Encode(std::string_view text) {
  return base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Strict decoding: only the alphabet and correct padding are accepted; anything else is nullopt.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace platform
