#include "toolbox/text/json_scanner.h"

#include "platform/foundation/utf16.h"

bool ztm_scanJSONObjectString(platform::Scanner& scanner, std::string* text) {
  return ztm_scanJSONString(scanner, text, u'{', u'}');
}

bool ztm_scanJSONArrayString(platform::Scanner& scanner, std::string* text) {
  return ztm_scanJSONString(scanner, text, u'[', u']');
}

bool ztm_scanJSONString(platform::Scanner& scanner, std::string* text, char16_t startChar,
                        char16_t endChar) {
  const std::u16string& units = scanner.string();
  size_t depth = 0;
  bool inString = false;
  size_t start = 0;
  for (size_t i = scanner.scanLocation(); i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c == startChar && !inString) {
      if (depth == 0) start = i;
      ++depth;
    } else if (depth == 0) {
      if (!scanner.skips(c)) {
        scanner.setScanLocation(i);
        return false;
      }
    } else if (c == endChar && !inString) {
      if (--depth == 0) {
        scanner.setScanLocation(i + 1);
        if (text)
          *text = platform::utf8FromUTF16(std::u16string_view(units).substr(start, i + 1 - start));
        return true;
      }
    } else if (c == u'"') {
      inString = !inString;
    } else if (inString && c == u'\\' && i + 1 < units.size()) {
      ++i;  // an escaped quote or bracket does not count
    }
  }
  scanner.setScanLocation(units.size());
  return false;
}
