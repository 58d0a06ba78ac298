#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// JSON conversions shared by the runtime and its plugins. Failures are logged with the runtime's
// fixed texts and give nothing.

// Compact JSON text of an array.
std::optional<std::string> vkr_JSONString(const platform::Value::Array& array);
// Pretty-printed JSON text of a dictionary.
std::optional<std::string> vkr_JSONString(const platform::Dictionary& dictionary);
// The array or object the text holds.
std::optional<platform::Value> vkr_JSONObject(std::string_view text);
// Also a bare string, number, boolean or null.
std::optional<platform::Value> vkr_JSONFragment(std::string_view text);
