// Arbitrary text through HTML unescaping and escaping: never a crash; escaping then unescaping
// gives back what escaping started from (for valid UTF-8 without lone surrogates).
#include <cstdlib>

#include "platform/foundation/utf16.h"
#include "toolbox/text/html_escaping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)ztm_stringByUnescapingFromHTML(text);
  const std::string clean = platform::utf8FromUTF16(platform::utf16FromUTF8(text));
  if (ztm_stringByUnescapingFromHTML(ztm_stringByEscapingForHTML(clean)) != clean) std::abort();
  return 0;
}
