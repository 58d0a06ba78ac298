#include "VokaruLib/Classes/Public/vkr_config_parser.h"

#include "VokaruLib/Classes/Public/vkr_lowercase.h"

namespace {
const std::string* attribute(const platform::XMLAttributes& attributes, const char* name) {
  auto it = attributes.find(name);
  return it == attributes.end() ? nullptr : &it->second;
}
}  // namespace

// Elements missing the attributes they need are skipped (a feature without a name opens nothing).
void VKRConfigParser::didStartElement(const std::string& name,
                                      const platform::XMLAttributes& attributes) {
  const std::string* nameAttribute = attribute(attributes, "name");
  const std::string* value = attribute(attributes, "value");
  if (name == "preference") {
    if (nameAttribute && value) settings_.set(vkrLowercase(*nameAttribute), *value);
  } else if (name == "feature") {
    if (nameAttribute) featureName_ = vkrLowercase(*nameAttribute);
  } else if (name == "param" && featureName_) {
    // A param without a name can still mark its feature with its own onload attribute.
    const std::string paramName = nameAttribute ? vkrLowercase(*nameAttribute) : std::string();
    if (paramName == "ios-package" && value) pluginsDict_.set(*featureName_, *value);
    const std::string* onloadAttribute = attribute(attributes, "onload");
    const bool onload = (paramName == "onload" && value && *value == "true") ||
                        (onloadAttribute && vkrLowercase(*onloadAttribute) == "true");
    if (onload) startupPluginNames_.push_back(*featureName_);
  } else if (name == "content") {
    if (const std::string* src = attribute(attributes, "src")) startPage_ = *src;
  }
}

void VKRConfigParser::didEndElement(const std::string& name) {
  if (name == "feature") featureName_.reset();
}
