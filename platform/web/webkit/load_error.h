#pragma once

#include <glib.h>

#include <string>

#include "platform/foundation/error.h"

namespace platform::web {

// The error a failed load reports, in the URL-loading domain's terms where the engine's error has
// a counterpart there (a cancelled load is -999 whatever layer cancelled it). The user info holds
// the engine's message and the failing URL.
Error loadError(const GError* error, const std::string& failingURL);

// An error with a description and the failing URL in its user info.
Error loadError(const char* domain, int64_t code, const std::string& description,
                const std::string& failingURL);

}  // namespace platform::web
