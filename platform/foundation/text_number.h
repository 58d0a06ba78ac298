#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Numbers read from the start of a text the way the platform's text objects read them: leading
// white space is skipped, then the longest number there is read; text that does not start with
// one reads as 0.

// A decimal integer with an optional sign; saturates at the 64-bit limits.
int64_t integerValueOfText(std::string_view text);

// A decimal number with an optional sign, fraction and exponent ("-1.5e3"); no hexadecimal,
// infinity or NaN. Overflow gives ±HUGE_VAL.
double doubleValueOfText(std::string_view text);

// A yes/no read the same way: after white space, a sign and leading zeros, true when the text
// goes on with "Y", "y", "T", "t" or a digit 1-9 ("true", "YES", "1", "007"); false otherwise.
bool boolValueOfText(std::string_view text);

}  // namespace platform
