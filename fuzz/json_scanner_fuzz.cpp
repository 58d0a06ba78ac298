// Arbitrary text through the JSON text scanner: never a crash; a scanned text starts with its
// opening bracket, ends with its closing one, and the location only moves forward.
#include <cstdlib>

#include "toolbox/text/json_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::Scanner scanner(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string text;
  size_t location = 0;
  while (ztm_scanJSONObjectString(scanner, &text) || ztm_scanJSONArrayString(scanner, &text)) {
    if (text.empty() || scanner.scanLocation() <= location) std::abort();
    if (!((text.front() == '{' && text.back() == '}') ||
          (text.front() == '[' && text.back() == ']'))) {
      std::abort();
    }
    location = scanner.scanLocation();
  }
  return 0;
}
