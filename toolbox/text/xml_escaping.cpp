#include "toolbox/text/xml_escaping.h"

#include "platform/foundation/utf16.h"

namespace {

const char16_t* entityOf(char16_t unit) {
  switch (unit) {
    case u'"':
      return u"&quot;";
    case u'&':
      return u"&amp;";
    case u'\'':
      return u"&apos;";
    case u'<':
      return u"&lt;";
    case u'>':
      return u"&gt;";
    default:
      return nullptr;
  }
}

bool allowedInXML(char16_t unit) {
  if (unit < 32) return unit == u'\t' || unit == u'\n' || unit == u'\r';
  return !platform::isSurrogate(unit) && unit != 0xFFFE && unit != 0xFFFF;
}

std::string sanitize(std::string_view text, bool escape) {
  if (text.empty()) return std::string(text);
  std::u16string result;
  for (char16_t unit : platform::utf16FromUTF8(text)) {
    if (!allowedInXML(unit)) continue;
    const char16_t* entity = escape ? entityOf(unit) : nullptr;
    if (entity) {
      result += entity;
    } else {
      result += unit;
    }
  }
  return platform::utf8FromUTF16(result);
}

}  // namespace

std::string ztm_stringBySanitizingAndEscapingForXML(std::string_view text) {
  return sanitize(text, true);
}

std::string ztm_stringBySanitizingToXMLSpec(std::string_view text) { return sanitize(text, false); }
