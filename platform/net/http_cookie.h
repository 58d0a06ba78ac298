#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"

namespace platform::net {

// One cookie. A domain with a leading "." was set with a Domain attribute and covers the hosts
// under it; a domain without one is the host that set it.
struct HTTPCookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path = "/";
  std::optional<Date> expiresDate;  // none for a session cookie
  bool isSecure = false;
  bool isHTTPOnly = false;

  bool isSessionOnly() const { return !expiresDate.has_value(); }
  bool operator==(const HTTPCookie&) const = default;
};

// The cookie a Set-Cookie header value sets for a response from `url`, at time `now` (Max-Age
// counts from it). Nothing (nullopt) for a malformed value, a URL without a host, a Domain
// attribute that does not cover the URL's host (a server may set cookies only for itself and
// the domains above it, never for a single-label domain it is not, nor for another IP address),
// or a Secure cookie sent over plain HTTP.
std::optional<HTTPCookie> parseSetCookie(std::string_view header, const URL& url, Date now);

// The request's Cookie header value for the cookies, in order: "a=1; b=2".
std::string cookieHeaderValue(const std::vector<HTTPCookie>& cookies);

}  // namespace platform::net
