#pragma once

#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

// Reads a localisation table: the text form ("key" = "value"; with /* */ and // comments,
// unquoted simple words, and \n \t \" \\ \Uxxxx escapes) or a property-list dictionary of texts.
Result<Dictionary> parseStringsTable(std::string_view content);

}  // namespace platform
