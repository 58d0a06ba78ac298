#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text as UTF-16 code units, the platform's unit of text positions. Malformed UTF-8 (and, going
// back, an unpaired surrogate, which UTF-8 cannot carry) becomes U+FFFD.
std::u16string utf16FromUTF8(std::string_view text);
std::string utf8FromUTF16(std::u16string_view text);

inline bool isSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace platform
