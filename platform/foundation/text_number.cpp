#include "platform/foundation/text_number.h"

#include <locale.h>
#include <stdlib.h>

#include <cctype>
#include <limits>
#include <string>

namespace platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipSpace(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return text.substr(i);
}

}  // namespace

int64_t integerValueOfText(std::string_view text) {
  text = skipSpace(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int64_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) break;
    int digit = c - '0';
    // Accumulate toward the sign so INT64_MIN is reachable; stop at the limit.
    if (negative) {
      if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) {
        return std::numeric_limits<int64_t>::min();
      }
      value = value * 10 - digit;
    } else {
      if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
        return std::numeric_limits<int64_t>::max();
      }
      value = value * 10 + digit;
    }
  }
  return value;
}

double doubleValueOfText(std::string_view text) {
  text = skipSpace(text);
  // Measure the decimal prefix first: strtod would also take "inf", "nan" and hexadecimal.
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && isDigit(text[e])) {
      while (e < text.size() && isDigit(text[e])) ++e;
      i = e;
    }
  }
  // strtod in the C locale, so the decimal point is always "."; it saturates and underflows as
  // expected. Only the measured decimal prefix is handed to it.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string number(text.substr(0, i));
  return strtod_l(number.c_str(), nullptr, cLocale);
}

bool boolValueOfText(std::string_view text) {
  text = skipSpace(text);
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  while (!text.empty() && text[0] == '0') text.remove_prefix(1);
  if (text.empty()) return false;
  const char c = text[0];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace platform
