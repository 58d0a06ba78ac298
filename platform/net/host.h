#pragma once

// Hosts and origins of URLs, as loading, cookies and trust compare them.

#include <arpa/inet.h>

#include <string>
#include <string_view>

#include "platform/foundation/url.h"
#include "platform/net/ascii.h"

namespace platform::net {

// An IPv4 or IPv6 address written out, rather than a name.
inline bool isIPAddress(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// This machine, by its usual names.
inline bool isLocalHost(std::string_view host) {
  return equalsIgnoringCase(host, "localhost") || host == "::1" || host == "127.0.0.1";
}

// The port written in the URL, else the scheme's own.
inline int portOrDefault(const URL& url) {
  return url.port().value_or(url.scheme() == "https" ? 443 : 80);
}

inline bool sameOrigin(const URL& a, const URL& b) {
  return a.scheme() == b.scheme() && a.host() == b.host() && portOrDefault(a) == portOrDefault(b);
}

}  // namespace platform::net
