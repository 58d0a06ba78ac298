#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace platform::net {

// An HTTP date in any of the three forms HTTP allows: "Sun, 06 Nov 1994 08:49:37 GMT" (also with
// "UTC" or a numeric offset), "Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994".
// Anything else, or an impossible date, gives nullopt.
std::optional<Date> parseHTTPDate(std::string_view text);

// The date in the preferred HTTP form, "Sun, 06 Nov 1994 08:49:37 GMT", whole seconds (rounded
// down), in English whatever the locale. Dates before year 1 or after 9999 are clamped to them.
std::string formatHTTPDate(Date date);

// A cookie's Expires date, read with the lenient token rules of cookie dates (RFC 6265 5.1.1):
// the time, day, month and year may come in any order among other words and delimiters.
std::optional<Date> parseCookieDate(std::string_view text);

}  // namespace platform::net
