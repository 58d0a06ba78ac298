// Navigation rules and URLs from arbitrary bytes: lines before the last are whitelist entries, the
// last line a URL. Nothing may crash or loop; "*" allows every URL; no rule allows a URL when
// there are none.
#include <cstdlib>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Private/Plugins/vkr_whitelist.h"
#include "platform/foundation/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::setConsoleLogging(false), true);
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  const platform::Result<platform::URL> url = platform::URL::parse(text.substr(start));
  if (!url.ok()) return 0;
  VKRWhitelist whitelist(lines);
  whitelist.URLIsAllowed(*url);
  lines.push_back("*");
  if (!VKRWhitelist(lines).URLIsAllowed(*url)) std::abort();
  if (VKRWhitelist({}).URLIsAllowed(*url, false)) std::abort();
  return 0;
}
