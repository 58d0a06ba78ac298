// Arbitrary text as config.xml through the configuration reader: nothing crashes, and whatever it
// reads is keyed by lower-cased names.
#include <cstdlib>

#include "VokaruLib/Classes/Public/vkr_config_parser.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VKRConfigParser config;
  platform::XMLParser parser(config);
  (void)parser.parse(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const platform::Dictionary* names : {&config.settings(), &config.pluginsDict()}) {
    for (const auto& [key, value] : *names) {
      if (vkrLowercase(key) != key || !value.isString()) std::abort();
    }
  }
  for (const std::string& name : config.startupPluginNames()) {
    if (vkrLowercase(name) != name) std::abort();
  }
  return 0;
}
