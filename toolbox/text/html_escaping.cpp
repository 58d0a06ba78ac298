#include "toolbox/text/html_escaping.h"

#include <algorithm>
#include <optional>

#include "platform/foundation/utf16.h"

namespace {

// The number in the units, all of them digits of the base, when it is a valid reference.
std::optional<char16_t> referencedUnit(std::u16string_view digits, int base) {
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : digits) {
    int digit = c >= u'0' && c <= u'9'                 ? c - u'0'
                : base == 16 && c >= u'a' && c <= u'f' ? c - u'a' + 10
                : base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                       : -1;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  // At most 8 digits fit a candidate, so the value can't overflow before this check.
  if (value < 1 || value > 65534) return std::nullopt;
  return static_cast<char16_t>(value);
}

std::optional<char16_t> unitOfCandidate(std::u16string_view candidate) {
  if (candidate[1] == u'#') {
    if (candidate[2] == u'x' || candidate[2] == u'X') {
      return referencedUnit(candidate.substr(3, candidate.size() - 4), 16);
    }
    return referencedUnit(candidate.substr(2, candidate.size() - 3), 10);
  }
  for (const HTMLEntity& entity : kHTMLEntities) {
    if (entity.text.size() == candidate.size() &&
        std::equal(entity.text.begin(), entity.text.end(), candidate.begin())) {
      return entity.unit;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string ztm_stringByEscapingForHTML(std::string_view text) {
  return ztm_stringByEscapingHTMLUsingTable(text, kHTMLSpecialEntities, false);
}

std::string ztm_stringByEscapingForAsciiHTML(std::string_view text) {
  return ztm_stringByEscapingHTMLUsingTable(text, kHTMLEntities, true);
}

std::string ztm_stringByEscapingHTMLUsingTable(std::string_view text,
                                               std::span<const HTMLEntity> table,
                                               bool escapingUnicode) {
  if (text.empty()) return std::string(text);
  const std::u16string units = platform::utf16FromUTF8(text);
  std::u16string result;
  result.reserve(units.size());
  for (char16_t unit : units) {
    auto found = std::lower_bound(table.begin(), table.end(), unit,
                                  [](const HTMLEntity& e, char16_t u) { return e.unit < u; });
    if (found != table.end() && found->unit == unit) {
      result.append(found->text.begin(), found->text.end());
    } else if (unit < 128 || !escapingUnicode) {
      result += unit;
    } else {
      const std::string reference = "&#" + std::to_string(unit) + ";";
      result.append(reference.begin(), reference.end());
    }
  }
  return platform::utf8FromUTF16(result);
}

std::string ztm_stringByUnescapingFromHTML(std::string_view text) {
  if (text.find('&') == std::string_view::npos) return std::string(text);
  std::u16string units = platform::utf16FromUTF8(text);
  // From the last "&" to the first: a replacement never moves an earlier "&", and an "&" that a
  // replacement produces is not looked at again.
  size_t ampersand = units.rfind(u'&');
  while (ampersand != std::u16string::npos) {
    const size_t next = units.find(u'&', ampersand + 1);
    const size_t semicolon = units.find(u';', ampersand + 1);
    if (semicolon != std::u16string::npos && semicolon < next) {
      const size_t length = semicolon - ampersand + 1;
      if (length >= 4 && length <= 10) {
        if (std::optional<char16_t> unit =
                unitOfCandidate(std::u16string_view(units).substr(ampersand, length))) {
          units.replace(ampersand, length, 1, *unit);
        }
      }
    }
    ampersand = ampersand == 0 ? std::u16string::npos : units.rfind(u'&', ampersand - 1);
  }
  return platform::utf8FromUTF16(units);
}
