#pragma once

// How long an HTTP answer may be served from a cache, by its expiry headers.

#include <optional>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/net/url_request.h"

// Until when the answer may be served from a cache; nothing when it may not be kept. "Pragma:
// no-cache" and "Cache-Control: no-store" forbid keeping it; a "max-age" counts from the
// answer's "Date" (now when it has none or it is no date); else "Expires" counts as its distance
// from that "Date", applied to this device's clock (the server's clock may be off).
std::optional<platform::Date> zad_expirationDate(const platform::net::URLResponse& response);
// An HTTP date in any of the three forms HTTP allows; nothing for anything else.
std::optional<platform::Date> zad_dateFromHttpDateString(std::string_view text);
