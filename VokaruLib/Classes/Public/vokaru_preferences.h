#pragma once

#include <string_view>

#include "platform/foundation/value.h"

// Preference lookups on a settings dictionary whose keys are lower-cased (as config.xml's
// preferences are stored): every key given here is lower-cased before use.

// The stored value, or null when there is none.
const platform::Value* vokaruSettingForKey(const platform::Dictionary& settings,
                                           std::string_view key);

// The stored value read as a boolean; the default when the key is absent. A text is true when,
// after leading white space, a sign and leading zeros, it starts with Y, y, T, t or 1-9 ("true",
// "YES", "1"); anything else ("false", "no", "maybe", "") is false.
bool vokaruBoolSettingForKey(const platform::Dictionary& settings, std::string_view key,
                             bool defaultValue);

// The stored value read as a 32-bit float, widened; the default when the key is absent. A text
// gives its leading decimal number, 0 when it has none.
double vokaruFloatSettingForKey(const platform::Dictionary& settings, std::string_view key,
                                double defaultValue);

void setVokaruSetting(platform::Dictionary& settings, platform::Value value, std::string_view key);
