#pragma once

// Internal to URL loading: libcurl results as URL-domain errors.

#include <curl/curl.h>

#include <string>

#include "platform/foundation/error.h"

namespace platform::net {

// The URL error for a failed transfer, with libcurl's own message as the failure reason.
Error urlErrorForCurlCode(CURLcode code, const std::string& failingURL, const char* detail);

}  // namespace platform::net
