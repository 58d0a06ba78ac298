#pragma once

#include <cstddef>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

inline constexpr const char* kPropertyListErrorDomain = "PropertyListErrorDomain";
enum PropertyListErrorCode : int64_t { kPropertyListReadError = 1, kPropertyListWriteError = 2 };

enum class PropertyListFormat { XML, Binary };

inline constexpr size_t kPropertyListMaxDepth = 512;

struct PropertyListReadOptions {
  // Deeper nesting is refused before the text is parsed, so hostile input cannot exhaust the stack.
  size_t maxDepth = kPropertyListMaxDepth;
  // Larger input is refused without being parsed.
  size_t maxBytes = size_t{64} << 20;
};

// Reads a property list in the XML or the binary format (told apart by the first bytes) into a
// Value of any type. Integers are read as signed 64-bit (an unsigned value above the signed range
// wraps); dates become `Date`; a keyed-archive reference (UID) becomes {"CF$UID": n}. Malformed,
// truncated, cyclic, too deeply nested or oversized input gives an error. `format`, when given,
// receives the format that was read.
Result<Value> parsePropertyList(std::string_view data, const PropertyListReadOptions& options = {},
                                PropertyListFormat* format = nullptr);
inline Result<Value> parsePropertyList(const Bytes& data,
                                       const PropertyListReadOptions& options = {},
                                       PropertyListFormat* format = nullptr) {
  return parsePropertyList(
      std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), options, format);
}

// Writes a property list in the given format. Null has no property-list form and gives an
// error, as do strings and keys that are not valid UTF-8 or contain NUL, dates more than 2^31 s
// (about 68 years) from the format's epoch 2001-01-01, and nesting deeper than
// kPropertyListMaxDepth. The XML format keeps dates to the whole second, the binary one to the
// microsecond. Dictionaries keep their key order.
Result<Bytes> toPropertyList(const Value& value, PropertyListFormat format);

}  // namespace platform
