#pragma once

// Classes and protocols found by name. The toolbox's classes carry the name prefix "ZSDK_"
// (ZSDK_ZTMSessionFetcher) while the code that looks them up uses the plain names, so every
// lookup first tries "ZSDK_" followed by the given name (even when the name already carries the
// prefix) and falls back to the name as given.
//
// A class is its factory in the platform's registry of the base type the caller expects; an
// empty factory means no such class. The platform's registries have no lazy class loading, so
// the three class lookups answer alike; they keep the names their callers use.

#include <string>
#include <string_view>

#include "platform/foundation/class_registry.h"

template <typename Base, typename... Args>
using ZSDKClass = typename platform::ClassRegistry<Base, Args...>::Factory;

namespace toolbox::detail {

inline constexpr std::string_view kClassNamePrefix = "ZSDK_";

std::string prefixedName(std::string_view name);

template <typename Base, typename... Args>
ZSDKClass<Base, Args...> lookUpClass(std::string_view name) {
  const auto& registry = platform::ClassRegistry<Base, Args...>::instance();
  if (auto prefixed = registry.factory(prefixedName(name))) return prefixed;
  return registry.factory(name);
}

}  // namespace toolbox::detail

template <typename Base, typename... Args>
ZSDKClass<Base, Args...> ZSDKLookUpClass(const char* name) {
  if (name == nullptr) return {};
  return toolbox::detail::lookUpClass<Base, Args...>(name);
}

template <typename Base, typename... Args>
ZSDKClass<Base, Args...> ZSDKGetClass(const char* name) {
  if (name == nullptr) return {};
  return toolbox::detail::lookUpClass<Base, Args...>(name);
}

template <typename Base, typename... Args>
ZSDKClass<Base, Args...> ZSDKClassFromString(std::string_view name) {
  return toolbox::detail::lookUpClass<Base, Args...>(name);
}

// The protocol registered as "ZSDK_" + name, else the one registered as name, else null.
const platform::Protocol* ZSDKGetProtocol(const char* name);
