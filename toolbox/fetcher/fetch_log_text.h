#pragma once

// How fetch logs show requests and responses: bodies as display text (pretty JSON, multipart
// documents summarised) and header listings, with secrets replaced by "_snip_". Pure functions.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/net/url_request.h"

namespace fetch_log_text {

inline constexpr const char* kSnip = "_snip_";

// Replaces what lies between the first `start` and the next `end` after it (or the string's end)
// by "_snip_"; the text as it is when `start` does not occur.
std::optional<std::string> snipSubstringOfString(const std::optional<std::string>& text,
                                                 std::string_view start, std::string_view end);
// "  Name: value\n" per header, names in byte order; the Authorization value's tokens snipped.
std::string headersStringForDictionary(const platform::net::HTTPHeaderFields& headers);
// JSON (pretty, with top-level tokens snipped) or UTF-8 text; nullopt when neither. The parsed
// JSON goes to `json` when given.
std::optional<std::string> formattedStringFromData(const std::optional<platform::Bytes>& data,
                                                   std::string_view contentType,
                                                   platform::Value* json = nullptr);
// A streamed body: as formattedStringFromData, else the text with multipart parts that are not
// text replaced by their headers and byte count, else "<<N bytes>>".
std::optional<std::string> stringFromStreamData(const std::optional<platform::Bytes>& data,
                                                std::string_view contentType);

}  // namespace fetch_log_text
