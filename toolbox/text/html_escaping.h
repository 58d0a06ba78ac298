#pragma once

#include <span>
#include <string>
#include <string_view>

#include "toolbox/text/html_entities.h"

// HTML escaping works on the text's UTF-16 code units (each half of a surrogate pair on its own).

// The XHTML special characters (& < > " ' and the typographic ones) as named entities; every
// other character stays.
std::string ztm_stringByEscapingForHTML(std::string_view text);
// Every XHTML entity by name and any other code unit above 127 as "&#<decimal>;": pure ASCII.
std::string ztm_stringByEscapingForAsciiHTML(std::string_view text);
// Units in the table (sorted by unit) become its entity; others above 127 become decimal
// references when `escapingUnicode` is set, else stay.
std::string ztm_stringByEscapingHTMLUsingTable(std::string_view text,
                                               std::span<const HTMLEntity> table,
                                               bool escapingUnicode);
// Named entities of the full table and decimal or hexadecimal references (1 to 65534) back to
// their characters, in one pass; anything else stays as it is.
std::string ztm_stringByUnescapingFromHTML(std::string_view text);
