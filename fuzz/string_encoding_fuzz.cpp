// Arbitrary text through every decoder. The first byte picks the coder (and whether line breaks
// are ignored); whatever decodes must encode and decode back to the same bytes.
#include <cstdlib>

#include "toolbox/encoding/string_encoding.h"

namespace {
ZSDK_ZTMStringEncoding coderFor(uint8_t selector) {
  switch (selector % 7) {
    case 0:
      return ZSDK_ZTMStringEncoding::binaryStringEncoding();
    case 1:
      return ZSDK_ZTMStringEncoding::hexStringEncoding();
    case 2:
      return ZSDK_ZTMStringEncoding::rfc4648Base32StringEncoding();
    case 3:
      return ZSDK_ZTMStringEncoding::rfc4648Base32HexStringEncoding();
    case 4:
      return ZSDK_ZTMStringEncoding::crockfordBase32StringEncoding();
    case 5:
      return ZSDK_ZTMStringEncoding::rfc4648Base64StringEncoding();
    default:
      return ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ZSDK_ZTMStringEncoding coder = coderFor(data[0]);
  if (data[0] & 0x80) coder.ignoreCharacters("\r\n");
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  (void)coder.stringByDecoding(text);
  std::optional<platform::Bytes> bytes = coder.decode(text);
  if (!bytes) return 0;
  std::optional<platform::Bytes> again = coder.decode(coder.encode(*bytes));
  if (again != bytes) std::abort();
  return 0;
}
