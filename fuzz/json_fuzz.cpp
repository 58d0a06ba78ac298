// Arbitrary bytes through the JSON reader; whatever parses must write back and parse the same.
#include <cstdlib>

#include "platform/foundation/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::Result<platform::Value> value = platform::parseJSON(text, {.allowFragments = true});
  if (!value.ok()) return 0;
  platform::Result<std::string> written = platform::toJSON(*value);
  if (!written.ok()) std::abort();
  platform::Result<platform::Value> again = platform::parseJSON(*written, {.allowFragments = true});
  if (!again.ok()) std::abort();
  return 0;
}
