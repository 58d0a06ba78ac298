#include "platform/foundation/scanner.h"

#include <algorithm>

#include "platform/foundation/utf16.h"

namespace platform {

Scanner::Scanner(std::string_view text) : text_(utf16FromUTF8(text)) {}

void Scanner::setScanLocation(size_t location) { location_ = std::min(location, text_.size()); }

bool Scanner::isWhitespaceOrNewline(char16_t unit) {
  switch (unit) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return unit >= 0x2000 && unit <= 0x200A;
  }
}

}  // namespace platform
