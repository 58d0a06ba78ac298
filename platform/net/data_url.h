#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform::net {

// The content of a "data:" URL (RFC 2397): "data:[<media type>][;base64],<data>".
struct DataURLContent {
  std::string mimeType = "text/plain";
  std::string charset;  // empty unless given (or implied by the text/plain default: "us-ascii")
  Bytes data;
};

// Decodes the text of a data URL; an error for text that is not one (no comma, broken escapes
// or base64).
Result<DataURLContent> decodeDataURL(std::string_view text);

}  // namespace platform::net
