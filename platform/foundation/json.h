#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

inline constexpr const char* kJSONErrorDomain = "JSONErrorDomain";
enum JSONErrorCode : int64_t { kJSONReadError = 1, kJSONWriteError = 2 };

struct JSONReadOptions {
  // Accept a bare string, number, boolean or null at the top level.
  bool allowFragments = false;
  // Deeper nesting is refused, so hostile input cannot exhaust the stack.
  size_t maxDepth = 512;
};

struct JSONWriteOptions {
  // Two-space indentation and "key" : value separators; compact otherwise.
  bool pretty = false;
};

// Parses UTF-8 JSON text. Integers that fit 64 bits stay integers; other numbers become reals.
Result<Value> parseJSON(std::string_view text, const JSONReadOptions& options = {});

// Writes JSON text. "/" and non-ASCII characters are written as they are; control characters,
// U+2028 and U+2029 are escaped so the text is also a valid script literal; invalid UTF-8 becomes
// U+FFFD. Whole reals are written without a fraction ("1", not "1.0"). Bytes, dates, NaN and
// infinities cannot be written and give an error.
Result<std::string> toJSON(const Value& value, const JSONWriteOptions& options = {});

// Appends the JSON string literal of `text` (with its quotes) to `out`.
void appendJSONString(std::string_view text, std::string& out);

}  // namespace platform
