#include "ads/foundation/header_parser.h"

#include <cstdint>
#include <limits>
#include <string>

#include "platform/dispatch/clock.h"
#include "platform/net/http_date.h"

namespace {

// The signed whole number at the start of the text (after blanks), saturated; nothing when the
// text starts with no digits.
std::optional<int64_t> leadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  int64_t value = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace

std::optional<platform::Date> zad_dateFromHttpDateString(std::string_view text) {
  return platform::net::parseHTTPDate(text);
}

std::optional<platform::Date> zad_expirationDate(const platform::net::URLResponse& response) {
  const platform::net::HTTPHeaderFields& headers = response.headers;
  if (headers.value("Pragma") == "no-cache") return std::nullopt;
  const platform::Date now = platform::now();
  const std::optional<std::string> dateText = headers.value("Date");
  const platform::Date base =
      (dateText ? zad_dateFromHttpDateString(*dateText) : std::nullopt).value_or(now);
  if (const std::optional<std::string> cacheControl = headers.value("Cache-Control")) {
    if (cacheControl->find("no-store") != std::string::npos) return std::nullopt;
    constexpr std::string_view kMaxAge = "max-age=";
    if (const size_t at = cacheControl->find(kMaxAge); at != std::string::npos) {
      if (const std::optional<int64_t> maxAge =
              leadingInteger(std::string_view(*cacheControl).substr(at + kMaxAge.size()))) {
        if (*maxAge < 1) return std::nullopt;
        return platform::Date{base.secondsSince1970 + static_cast<double>(*maxAge)};
      }
    }
  }
  const std::optional<std::string> expiresText = headers.value("Expires");
  const std::optional<platform::Date> expires =
      expiresText ? zad_dateFromHttpDateString(*expiresText) : std::nullopt;
  if (!expires) return std::nullopt;
  const double distance = expires->secondsSince1970 - base.secondsSince1970;
  if (distance <= 0) return std::nullopt;
  return platform::Date{now.secondsSince1970 + distance};
}
