#include "platform/storage/strings_table.h"

#include <optional>
#include <string>

#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/property_list.h"

namespace platform {

namespace {

Error tableError(std::string message) {
  return Error::withDescription("StringsTableErrorDomain", 1, std::move(message));
}

void appendUTF8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '$' || c == ':' || c == '/' || c == '-';
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Result<Dictionary> read() {
    Dictionary table;
    for (;;) {
      skipSpaceAndComments();
      if (at_ >= text_.size()) return table;
      std::optional<std::string> key = token();
      if (!key) return fail("a key");
      skipSpaceAndComments();
      if (!consume('=')) return fail("'='");
      skipSpaceAndComments();
      std::optional<std::string> value = token();
      if (!value) return fail("a value");
      skipSpaceAndComments();
      if (!consume(';')) return fail("';'");
      table.set(std::move(*key), Value(std::move(*value)));
    }
  }

 private:
  Error fail(const char* expected) const {
    return tableError("expected " + std::string(expected) + " at offset " + std::to_string(at_));
  }

  bool consume(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void skipSpaceAndComments() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++at_;
      } else if (text_.substr(at_, 2) == "//") {
        size_t end = text_.find('\n', at_);
        at_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (text_.substr(at_, 2) == "/*") {
        size_t end = text_.find("*/", at_ + 2);
        at_ = end == std::string_view::npos ? text_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  std::optional<std::string> token() {
    if (consume('"')) return quoted();
    size_t start = at_;
    while (at_ < text_.size() && isWordChar(text_[at_])) ++at_;
    if (at_ == start) return std::nullopt;
    return std::string(text_.substr(start, at_ - start));
  }

  std::optional<std::string> quoted() {
    std::string out;
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      char escape = text_[at_++];
      switch (escape) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'U':
        case 'u': {
          std::optional<uint32_t> cp = utf16Unit();
          if (!cp) return std::nullopt;
          // A character beyond the basic plane is written as two escaped UTF-16 surrogates.
          if (*cp >= 0xD800 && *cp <= 0xDBFF && at_ + 1 < text_.size() && text_[at_] == '\\' &&
              (text_[at_ + 1] == 'U' || text_[at_ + 1] == 'u')) {
            const size_t mark = at_;
            at_ += 2;
            std::optional<uint32_t> low = utf16Unit();
            if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
              cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
            } else {
              at_ = mark;
            }
          }
          if (*cp >= 0xD800 && *cp <= 0xDFFF) cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
          appendUTF8(*cp, out);
          break;
        }
        default:
          out += escape;  // \" \\ and any other character stand for themselves
      }
    }
    return std::nullopt;  // no closing quote
  }

  // The four hex digits of a \U escape.
  std::optional<uint32_t> utf16Unit() {
    if (at_ + 4 > text_.size()) return std::nullopt;
    uint32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = hexValue(text_[at_++]);
      if (digit < 0) return std::nullopt;
      unit = unit * 16 + static_cast<uint32_t>(digit);
    }
    return unit;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

Result<Dictionary> parseStringsTable(std::string_view content) {
  if (content.starts_with("bplist") || content.starts_with("<?xml")) {
    Result<Value> plist = parsePropertyList(content);
    if (!plist) return plist.error();
    const Dictionary* table = plist->dictionaryIf();
    if (!table) return tableError("the property list is not a dictionary");
    return *table;
  }
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  return Reader(content).read();
}

}  // namespace platform
