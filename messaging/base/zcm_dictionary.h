#pragma once
// Option dictionaries of the topic requests hold text values only: numbers count as non-text.
#include <string>

#include "platform/foundation/value.h"

// "key:value" of each entry whose value is text, in the dictionary's order, joined by "|"; the
// other entries are skipped; "" for none.
std::string zcm_string(const platform::Dictionary& dictionary);
// Whether some value is not text (keys are always text here); false for an empty dictionary.
bool zcm_hasNonStringKeysOrValues(const platform::Dictionary& dictionary);
// The entries whose value is text; each dropped entry is logged as an error of the messaging
// logger ("Trimming key: %@, value: %@").
platform::Dictionary zcm_trimNonStringValues(const platform::Dictionary& dictionary);

// A value's truth as the platform reads it: a number other than 0, or a text that starts (after
// white space) with "Y", "y", "T", "t" or a number other than 0.
bool zcm_boolValue(const platform::Value& value);
