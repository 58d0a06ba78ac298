#pragma once

#include <string>
#include <string_view>

// Removes the UTF-16 code units XML does not allow (controls other than tab, line feed and
// carriage return, surrogates, so characters beyond the Basic Multilingual Plane, and U+FFFE,
// U+FFFF) and escapes & < > " ' as entities.
std::string ztm_stringBySanitizingAndEscapingForXML(std::string_view text);
// The same without escaping.
std::string ztm_stringBySanitizingToXMLSpec(std::string_view text);
