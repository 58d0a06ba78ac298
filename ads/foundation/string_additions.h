#pragma once

// Digests, number text, orientation masks and typed dictionary reads of the ads engine.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// The MD5 digest of the text's UTF-8 bytes; nothing for text that is not UTF-8.
std::optional<platform::Bytes> zad_MD5Data(std::string_view text);
// The digest as 32 lower-case hexadecimal digits.
std::optional<std::string> zad_MD5String(std::string_view text);

// "%f" of the number without trailing zeros (and without a "." left last): 2.5, 320, 0.
std::string ZADTrimmedDoubleString(double number);

// Interface orientations: 1 portrait, 2 upside down, 3 and 4 landscape. A mask has bit n for
// orientation n.
using ZADInterfaceOrientationMask = uint32_t;
// "any" 30, "portrait" 6, "landscape" 24 (exact case); anything else 0.
ZADInterfaceOrientationMask ZADInterfaceOrientationMaskFromString(std::string_view text);
bool ZADInterfaceOrientationMaskContainsOrientation(ZADInterfaceOrientationMask mask,
                                                    int64_t orientation);

// The value under the key when it is of the kind the test names (&Value::isNumber, ...); else
// null.
const platform::Value* zad_objectForKey(const platform::Dictionary& dictionary,
                                        std::string_view key,
                                        bool (platform::Value::*isKind)() const);
