// Arbitrary bytes through the property-list reader (both formats), and whatever it reads back
// through both writers: each step must end with a value or an error, never a crash or a hang.
#include "platform/foundation/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  platform::Result<platform::Value> value = platform::parsePropertyList(input);
  if (!value) return 0;
  for (auto format : {platform::PropertyListFormat::XML, platform::PropertyListFormat::Binary}) {
    platform::Result<platform::Bytes> written = platform::toPropertyList(*value, format);
    if (written) (void)platform::parsePropertyList(*written);
  }
  return 0;
}
