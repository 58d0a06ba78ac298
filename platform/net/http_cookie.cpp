#include "platform/net/http_cookie.h"

#include <charconv>
#include <cmath>

#include "platform/net/ascii.h"
#include "platform/net/host.h"
#include "platform/net/http_date.h"

namespace platform::net {

namespace {

constexpr size_t kMaxCookieBytes = 4096;

bool hasControlCharacter(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
  }
  return false;
}

// The directory of the request path: up to (not including) its last "/", or "/".
std::string defaultPath(const URL& url) {
  const std::string& path = url.parts().path;
  if (path.empty() || path.front() != '/') return "/";
  const size_t last = path.rfind('/');
  return last == 0 ? "/" : path.substr(0, last);
}

// True when a server at `host` may set a cookie for `domain` (lower case, no leading dot).
bool mayServeDomain(const std::string& host, const std::string& domain) {
  if (domain == host) return true;
  if (isIPAddress(host) || domain.find('.') == std::string::npos) return false;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

std::optional<HTTPCookie> parseSetCookie(std::string_view header, const URL& url, Date now) {
  const std::optional<std::string> hostText = url.host();
  if (!hostText || hostText->empty() || header.size() > kMaxCookieBytes ||
      hasControlCharacter(header)) {
    return std::nullopt;
  }
  const std::string host = asciiLowercase(*hostText);

  const size_t firstSemicolon = header.find(';');
  const std::string_view pair = header.substr(0, firstSemicolon);
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  HTTPCookie cookie;
  cookie.name = std::string(trimBlanks(pair.substr(0, equals)));
  cookie.value = std::string(trimBlanks(pair.substr(equals + 1)));
  if (cookie.name.empty()) return std::nullopt;

  std::optional<std::string> domainAttribute;
  std::optional<std::string> pathAttribute;
  std::optional<Date> expires;
  std::optional<Date> maxAgeExpiry;
  std::string_view rest = firstSemicolon == std::string_view::npos
                              ? std::string_view()
                              : header.substr(firstSemicolon + 1);
  while (!rest.empty()) {
    const size_t next = rest.find(';');
    const std::string_view attribute = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    const size_t attributeEquals = attribute.find('=');
    const std::string name = asciiLowercase(trimBlanks(attribute.substr(0, attributeEquals)));
    const std::string_view value = attributeEquals == std::string_view::npos
                                       ? std::string_view()
                                       : trimBlanks(attribute.substr(attributeEquals + 1));
    if (name == "expires") {
      if (auto date = parseCookieDate(value)) expires = date;
    } else if (name == "max-age") {
      int64_t seconds = 0;
      const bool negative = !value.empty() && value.front() == '-';
      const std::string_view digits = negative ? value.substr(1) : value;
      auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
      if (digits.empty() || end != digits.data() + digits.size()) continue;
      if (failed == std::errc::result_out_of_range) seconds = INT64_MAX;
      // Zero or less expires the cookie at once; huge values saturate rather than overflow.
      maxAgeExpiry = negative || seconds == 0
                         ? Date{now.secondsSince1970 - 1}
                         : Date{now.secondsSince1970 + std::min<double>(seconds, 1e11)};
    } else if (name == "domain") {
      std::string_view domain = value;
      if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
      if (!domain.empty()) domainAttribute = asciiLowercase(domain);
    } else if (name == "path") {
      if (!value.empty() && value.front() == '/') pathAttribute = std::string(value);
    } else if (name == "secure") {
      cookie.isSecure = true;
    } else if (name == "httponly") {
      cookie.isHTTPOnly = true;
    }
  }

  if (domainAttribute) {
    if (!mayServeDomain(host, *domainAttribute)) return std::nullopt;
    cookie.domain = *domainAttribute == host && isIPAddress(host) ? host : "." + *domainAttribute;
  } else {
    cookie.domain = host;
  }
  cookie.path = pathAttribute ? *pathAttribute : defaultPath(url);
  cookie.expiresDate = maxAgeExpiry ? maxAgeExpiry : expires;
  if (cookie.isSecure && url.scheme() != "https") return std::nullopt;
  return cookie;
}

std::string cookieHeaderValue(const std::vector<HTTPCookie>& cookies) {
  std::string header;
  for (const HTTPCookie& cookie : cookies) {
    if (!header.empty()) header += "; ";
    header += cookie.name;
    header += '=';
    header += cookie.value;
  }
  return header;
}

}  // namespace platform::net
