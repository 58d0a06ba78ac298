#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// One query name or value, percent-escaped: every byte of its UTF-8 form except ASCII letters,
// digits and "-._~" becomes %XX; a space becomes %20, never "+".
std::string ztm_stringByEscapingForURLArgument(std::string_view text);
// The reverse: "+" becomes a space, then %XX escapes are decoded; nothing when an escape is
// malformed or the decoded bytes are not UTF-8.
std::optional<std::string> ztm_stringByUnescapingFromURLArgument(std::string_view text);

// A query text ("a=1&b=2") as a dictionary of texts: pieces without "=" have an empty value, the
// value runs from the first "=", a name given twice keeps its first value, pieces that don't
// unescape keep an empty text in their place.
platform::Dictionary ztm_dictionaryWithHttpArgumentsString(std::string_view text);
// "name=value" pairs joined with "&", escaped, in the dictionary's order; values are written as
// their text (numbers in decimal).
std::string ztm_httpArgumentsString(const platform::Dictionary& arguments);
