#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// Length of the valid multi-byte UTF-8 sequence starting at `text[i]`, or 0 when there is none
// there (an ASCII byte, a stray continuation byte, an overlong form, a surrogate or a truncation).
size_t utf8SequenceLength(std::string_view text, size_t i);

// Whether the whole text is well-formed UTF-8.
bool isValidUTF8(std::string_view text);

}  // namespace platform
