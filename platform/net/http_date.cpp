#include "platform/net/http_date.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/net/ascii.h"

namespace platform::net {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::array<std::string_view, 7> kWeekdays = {"mon", "tue", "wed", "thu",
                                                       "fri", "sat", "sun"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// 1-12 for a month name (its first three letters decide), else 0.
int monthNumber(std::string_view name) {
  if (name.size() < 3) return 0;
  const std::string prefix = asciiLowercase(name.substr(0, 3));
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (kMonths[i] == prefix) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool isWeekday(std::string_view name, bool full) {
  const std::string text = asciiLowercase(name);
  static constexpr std::array<std::string_view, 7> kFull = {
      "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
  for (size_t i = 0; i < kWeekdays.size(); ++i) {
    if (text == (full ? kFull[i] : kWeekdays[i])) return true;
  }
  return false;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The civil date of a day counted from 1970-01-01 (the inverse of daysFromCivil).
void civilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = yearOfEra + era * 400 + (month <= 2);
}

int daysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

struct Fields {
  int64_t year = -1;
  int month = 0;
  int day = 0;
  int hour = -1;
  int minute = -1;
  int second = -1;
  int offsetSeconds = 0;  // east of UTC
};

std::optional<Date> toDate(const Fields& f) {
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.year < 1601 || f.year > 9999 ||
      f.day > daysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
      f.minute > 59 || f.second < 0 || f.second > 60) {
    return std::nullopt;
  }
  const int64_t days = daysFromCivil(f.year, f.month, f.day);
  const int64_t seconds = days * 86400 + f.hour * 3600 + f.minute * 60 + f.second - f.offsetSeconds;
  return Date{static_cast<double>(seconds)};
}

// A cursor over text for the strict HTTP-date forms.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ == text_.size(); }
  bool literal(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool spaces(size_t atLeast = 1) {
    size_t count = 0;
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_, ++count;
    return count >= atLeast;
  }
  std::string_view letters() {
    const size_t start = pos_;
    while (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Exactly `count` digits (or 1 to `count` when `upTo`).
  bool number(int count, int& out, bool upTo = false) {
    int value = 0;
    int read = 0;
    while (read < count && pos_ < text_.size() && isDigit(text_[pos_])) {
      value = value * 10 + (text_[pos_++] - '0');
      ++read;
    }
    out = value;
    return upTo ? read >= 1 : read == count;
  }
  bool time(Fields& f) {
    return number(2, f.hour) && literal(':') && number(2, f.minute) && literal(':') &&
           number(2, f.second);
  }
  bool month(Fields& f) {
    std::string_view name = letters();
    f.month = name.size() == 3 ? monthNumber(name) : 0;
    return f.month != 0;
  }
  // "GMT", "UTC", "UT", "Z" or "+hhmm"/"-hhmm".
  bool zone(Fields& f) {
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
      const int sign = text_[pos_++] == '-' ? -1 : 1;
      int hhmm = 0;
      if (!number(4, hhmm) || hhmm % 100 > 59 || hhmm / 100 > 23) return false;
      f.offsetSeconds = sign * ((hhmm / 100) * 3600 + (hhmm % 100) * 60);
      return true;
    }
    const std::string name = asciiLowercase(letters());
    return name == "gmt" || name == "utc" || name == "ut" || name == "z";
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<Date> parseRFC1123(std::string_view text) {
  Scanner s(text);
  Fields f;
  int year = 0;
  if (!isWeekday(s.letters(), false) || !s.literal(',') || !s.spaces() || !s.number(2, f.day) ||
      !s.spaces() || !s.month(f) || !s.spaces() || !s.number(4, year) || !s.spaces() ||
      !s.time(f) || !s.spaces() || !s.zone(f) || !s.atEnd()) {
    return std::nullopt;
  }
  f.year = year;
  return toDate(f);
}

// "Sunday, 06-Nov-94 08:49:37 GMT"
std::optional<Date> parseRFC850(std::string_view text) {
  Scanner s(text);
  Fields f;
  int year = 0;
  if (!isWeekday(s.letters(), true) || !s.literal(',') || !s.spaces() || !s.number(2, f.day) ||
      !s.literal('-') || !s.month(f) || !s.literal('-') || !s.number(2, year) || !s.spaces() ||
      !s.time(f) || !s.spaces() || !s.zone(f) || !s.atEnd()) {
    return std::nullopt;
  }
  f.year = year < 70 ? 2000 + year : 1900 + year;
  return toDate(f);
}

// "Sun Nov  6 08:49:37 1994"
std::optional<Date> parseAsctime(std::string_view text) {
  Scanner s(text);
  Fields f;
  int year = 0;
  if (!isWeekday(s.letters(), false) || !s.spaces() || !s.month(f) || !s.spaces() ||
      !s.number(2, f.day, true) || !s.spaces() || !s.time(f) || !s.spaces() || !s.number(4, year) ||
      !s.atEnd()) {
    return std::nullopt;
  }
  f.year = year;
  return toDate(f);
}

bool isCookieDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
         (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

// Leading digits of a token: their value and count (at most `max` digits are read).
int leadingDigits(std::string_view token, int max, int& value) {
  int count = 0;
  value = 0;
  while (count < static_cast<int>(token.size()) && isDigit(token[count])) {
    if (count == max) return max + 1;  // too many digits
    value = value * 10 + (token[count] - '0');
    ++count;
  }
  return count;
}

bool cookieTime(std::string_view token, Fields& f) {
  int parts[3];
  for (int i = 0; i < 3; ++i) {
    int value = 0;
    const int count = leadingDigits(token, 2, value);
    if (count < 1 || count > 2) return false;
    parts[i] = value;
    token.remove_prefix(static_cast<size_t>(count));
    if (i < 2) {
      if (token.empty() || token.front() != ':') return false;
      token.remove_prefix(1);
    }
  }
  f.hour = parts[0];
  f.minute = parts[1];
  f.second = parts[2];
  return true;
}

}  // namespace

std::optional<Date> parseHTTPDate(std::string_view text) {
  text = trimBlanks(text);
  if (auto date = parseRFC1123(text)) return date;
  if (auto date = parseRFC850(text)) return date;
  return parseAsctime(text);
}

std::string formatHTTPDate(Date date) {
  static constexpr std::array<std::string_view, 12> kMonthNames = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static constexpr std::array<std::string_view, 7> kDayNames = {"Thu", "Fri", "Sat", "Sun",
                                                                "Mon", "Tue", "Wed"};
  constexpr double kFirst = -62135596800.0;  // 0001-01-01T00:00:00Z
  constexpr double kLast = 253402300799.0;   // 9999-12-31T23:59:59Z
  const double clamped = std::isnan(date.secondsSince1970)
                             ? 0.0
                             : std::clamp(std::floor(date.secondsSince1970), kFirst, kLast);
  const auto seconds = static_cast<int64_t>(clamped);
  const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const int64_t secondOfDay = seconds - days * 86400;
  int64_t year = 0;
  int month = 0;
  int day = 0;
  civilFromDays(days, year, month, day);
  const int64_t weekday = ((days % 7) + 7) % 7;  // 1970-01-01 was a Thursday
  char text[96];
  std::snprintf(text, sizeof text, "%.3s, %02d %.3s %04d %02d:%02d:%02d GMT",
                kDayNames[weekday].data(), day, kMonthNames[month - 1].data(),
                static_cast<int>(year), static_cast<int>(secondOfDay / 3600),
                static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
  return text;
}

std::optional<Date> parseCookieDate(std::string_view text) {
  Fields f;
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && isCookieDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const size_t start = pos;
    while (pos < text.size() && !isCookieDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::string_view token = text.substr(start, pos - start);
    if (token.empty()) continue;
    int value = 0;
    const int digits = leadingDigits(token, 4, value);
    if (!haveTime && cookieTime(token, f)) {
      haveTime = true;
    } else if (!haveDay && (digits == 1 || digits == 2)) {
      haveDay = true;
      f.day = value;
    } else if (!haveMonth && monthNumber(token) != 0) {
      haveMonth = true;
      f.month = monthNumber(token);
    } else if (!haveYear && digits >= 2 && digits <= 4) {
      haveYear = true;
      f.year = value;
    }
  }
  if (!haveTime || !haveDay || !haveMonth || !haveYear) return std::nullopt;
  if (f.year >= 70 && f.year <= 99) f.year += 1900;
  if (f.year >= 0 && f.year <= 69) f.year += 2000;
  if (f.second > 59) return std::nullopt;
  return toDate(f);
}

}  // namespace platform::net
