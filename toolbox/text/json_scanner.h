#pragma once

#include <string>

#include "platform/foundation/scanner.h"

// Cuts one complete JSON object ("{...}") or array ("[...]") text out of the scanner's text from
// its location, by counting brackets outside strings (nothing is parsed). Before the opening
// bracket only skipped characters may come. On success the location moves past the closing
// bracket and `text` (when given) receives the object's text; on failure the location is left at
// the character that did not fit, or at the end.
bool ztm_scanJSONObjectString(platform::Scanner& scanner, std::string* text);
bool ztm_scanJSONArrayString(platform::Scanner& scanner, std::string* text);
bool ztm_scanJSONString(platform::Scanner& scanner, std::string* text, char16_t startChar,
                        char16_t endChar);
