#pragma once

#include <string_view>

#include "platform/foundation/value.h"

// The delay a "Retry-After" header value asks for, in seconds from `now`: an HTTP date gives the
// time until it, anything else its leading integer (text without one gives 0); never negative.
double retryAfterSeconds(std::string_view value, platform::Date now);
