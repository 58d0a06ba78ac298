#pragma once

#include <optional>
#include <string>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "platform/net/url_request.h"

// A request for the URL with the given headers and the device's user agent (which replaces a
// given one); a POST of the body with its length and content type when both are given, else a
// GET. Nothing without a URL.
std::optional<platform::net::URLRequest> zad_requestForURL(
    const std::optional<platform::URL>& url, const std::optional<platform::Bytes>& body,
    const platform::Dictionary& headers, const std::optional<std::string>& contentType);
