// Arbitrary text through the in-app browser's option parser and its decoding of the answers a
// page in the browser window sends back: options parse to a value, and an answer is an array
// (OK) or a JSON error without message, never anything else.
#include <cstdlib>
#include <string_view>

#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  VKRInAppBrowserOptions::parseOptions(text);

  const VKRPluginResult answer = VKRInAppBrowser::resultForAnswerPath(text);
  if (answer.status() == kVKRCommandStatusOK) {
    if (!answer.message().arrayIf()) std::abort();
  } else if (answer.status() != kVKRCommandStatusJSONError || !answer.message().isNull()) {
    std::abort();
  }
  return 0;
}
