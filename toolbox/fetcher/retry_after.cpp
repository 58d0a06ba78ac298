#include "toolbox/fetcher/retry_after.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/net/http_date.h"

double retryAfterSeconds(std::string_view value, platform::Date now) {
  if (std::optional<platform::Date> date = platform::net::parseHTTPDate(value)) {
    return std::max(0.0, date->secondsSince1970 - now.secondsSince1970);
  }
  // The leading integer, after blanks and an optional sign; it saturates rather than overflows.
  size_t position = 0;
  while (position < value.size() && (value[position] == ' ' || value[position] == '\t')) {
    ++position;
  }
  bool negative = false;
  if (position < value.size() && (value[position] == '+' || value[position] == '-')) {
    negative = value[position++] == '-';
  }
  int64_t number = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (; position < value.size() && value[position] >= '0' && value[position] <= '9'; ++position) {
    const int digit = value[position] - '0';
    number = number > (kMax - digit) / 10 ? kMax : number * 10 + digit;
  }
  return negative ? 0.0 : static_cast<double>(number);
}
