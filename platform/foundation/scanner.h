#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Reads through a text: a position in UTF-16 code units and the characters that scanning
// operations skip before a token (white space and line breaks unless set otherwise). One thread
// at a time.
class Scanner {
 public:
  using CharacterSet = std::function<bool(char16_t unit)>;

  explicit Scanner(std::string_view text);

  const std::u16string& string() const { return text_; }
  size_t scanLocation() const { return location_; }
  // Clamped to the text's length.
  void setScanLocation(size_t location);
  bool isAtEnd() const { return location_ >= text_.size(); }
  // An empty set skips nothing.
  void setCharactersToBeSkipped(CharacterSet characters) { skipped_ = std::move(characters); }
  bool skips(char16_t unit) const { return skipped_ && skipped_(unit); }

  // Unicode white space (spaces and separators) and line breaks.
  static bool isWhitespaceOrNewline(char16_t unit);

 private:
  std::u16string text_;
  size_t location_ = 0;
  CharacterSet skipped_ = &isWhitespaceOrNewline;
};

}  // namespace platform
