#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A set of ASCII characters; bytes of 0x80 and above are never members, so they are always
// escaped.
class CharacterSet {
 public:
  constexpr CharacterSet() = default;

  // The ASCII letters and digits.
  static constexpr CharacterSet alphanumerics() {
    CharacterSet set;
    for (char c = 'a'; c <= 'z'; ++c) set.add(c);
    for (char c = 'A'; c <= 'Z'; ++c) set.add(c);
    for (char c = '0'; c <= '9'; ++c) set.add(c);
    return set;
  }
  constexpr CharacterSet adding(std::string_view characters) const {
    CharacterSet set = *this;
    for (char c : characters) set.add(c);
    return set;
  }
  constexpr CharacterSet removing(std::string_view characters) const {
    CharacterSet set = *this;
    for (char c : characters) set.bits_[index(c)] &= ~bit(c);
    return set;
  }
  constexpr bool contains(char c) const {
    return static_cast<unsigned char>(c) < 0x80 && (bits_[index(c)] & bit(c)) != 0;
  }

 private:
  static constexpr size_t index(char c) { return (static_cast<unsigned char>(c) >> 6) & 1; }
  static constexpr uint64_t bit(char c) {
    return uint64_t{1} << (static_cast<unsigned char>(c) & 63);
  }
  constexpr void add(char c) {
    if (static_cast<unsigned char>(c) < 0x80) bits_[index(c)] |= bit(c);
  }

  uint64_t bits_[2] = {0, 0};
};

// The characters that never need escaping: letters, digits and "-._~".
inline constexpr CharacterSet kURLUnreservedAllowed = CharacterSet::alphanumerics().adding("-._~");
// Allowed unescaped in each part of a URL.
inline constexpr CharacterSet kURLUserAllowed = kURLUnreservedAllowed.adding("!$&'()*+,;=");
inline constexpr CharacterSet kURLHostAllowed = kURLUserAllowed;
inline constexpr CharacterSet kURLPathAllowed = kURLUserAllowed.adding(":@/");
inline constexpr CharacterSet kURLQueryAllowed = kURLPathAllowed.adding("?");
inline constexpr CharacterSet kURLFragmentAllowed = kURLQueryAllowed;
// One name or value of a query: the query's characters except the ones that separate pairs.
inline constexpr CharacterSet kURLQueryValueAllowed = kURLQueryAllowed.removing("&=+");

// Every byte of the text outside `allowed` becomes "%XX" (upper-case hex); "%" itself is always
// escaped.
std::string percentEncode(std::string_view text, const CharacterSet& allowed);

// Decodes every "%XX"; nullopt when a "%" is not followed by two hex digits or when the decoded
// bytes are not UTF-8. "+" stays "+".
std::optional<std::string> percentDecode(std::string_view text);
// As percentDecode, but any decoded bytes are accepted (paths on Linux are bytes).
std::optional<std::string> percentDecodeBytes(std::string_view text);

// Whether the byte is a hex digit, and its value (for the callers that scan escapes themselves).
bool isHexDigit(char c);
int hexValue(char c);

}  // namespace platform
