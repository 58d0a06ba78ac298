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

// This machine: its name, any IPv4 loopback address (127.0.0.0/8) and the IPv6 loopback in any
// spelling, also as an IPv4-mapped address.
inline bool isLocalHost(std::string_view host) {
  if (equalsIgnoringCase(host, "localhost")) return true;
  const std::string text(host);
  in_addr v4;
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6;
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

// The port written in the URL, else the scheme's own.
inline int portOrDefault(const URL& url) {
  return url.port().value_or(url.scheme() == "https" ? 443 : 80);
}

inline bool sameOrigin(const URL& a, const URL& b) {
  return a.scheme() == b.scheme() && a.host() == b.host() && portOrDefault(a) == portOrDefault(b);
}

}  // namespace platform::net
