#pragma once

// ASCII text helpers for protocol text (header names, cookie attributes, dates): letter case and
// blanks as HTTP defines them, independent of the locale.

#include <string>
#include <string_view>

namespace platform::net {

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline std::string asciiLowercase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = asciiLower(c);
  return result;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

inline bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// A character of an HTTP token (a header name, an authentication scheme).
inline bool isTokenCharacter(char c) {
  static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         kSymbols.find(c) != std::string_view::npos;
}

// Without leading and trailing spaces and tabs.
inline std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace platform::net
