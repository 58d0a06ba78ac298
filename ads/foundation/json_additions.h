#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

// The text parsed as JSON, a bare string or number at the top level allowed.
platform::Result<platform::Value> zad_decodedJSONObject(std::string_view text);
// The dictionary's JSON text (pretty when asked); for a dictionary JSON cannot hold (bytes,
// dates, ...) the internal error 2 "Invalid JSON object.".
platform::Result<std::string> zad_JSONStringPretty(const platform::Dictionary& dictionary,
                                                   bool pretty);
// The dictionary with every value JSON cannot hold replaced by its description text (nested
// dictionaries made safe the same way).
platform::Dictionary zad_JSONSafeDictionary(const platform::Dictionary& dictionary);
