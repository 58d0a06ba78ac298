#include "toolbox/runtime/class_lookup.h"

namespace toolbox::detail {

std::string prefixedName(std::string_view name) {
  std::string prefixed(kClassNamePrefix);
  prefixed += name;
  return prefixed;
}

}  // namespace toolbox::detail

const platform::Protocol* ZSDKGetProtocol(const char* name) {
  if (name == nullptr) return nullptr;
  if (const platform::Protocol* prefixed =
          platform::findProtocol(toolbox::detail::prefixedName(name))) {
    return prefixed;
  }
  return platform::findProtocol(name);
}
