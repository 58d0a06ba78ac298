#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/thread_annotations.h"

namespace platform {

// Classes found by name: each class registers a factory under its name at static-init time
// (see PLATFORM_REGISTER_CLASS), and callers create instances from a name read from a
// configuration file or a server answer. One registry per base type and constructor arguments.
template <typename Base, typename... Args>
class ClassRegistry {
 public:
  using Factory = std::function<std::shared_ptr<Base>(Args...)>;

  static ClassRegistry& instance() {
    static ClassRegistry* registry = new ClassRegistry();  // used from static initialisers
    return *registry;
  }

  void add(std::string name, Factory factory) {
    platform::MutexLock lock(mutex_);
    factories_[std::move(name)] = std::move(factory);
  }

  bool contains(std::string_view name) const {
    platform::MutexLock lock(mutex_);
    return factories_.find(name) != factories_.end();
  }

  // The named class's factory, or an empty one when no class has that name.
  Factory factory(std::string_view name) const {
    platform::MutexLock lock(mutex_);
    auto it = factories_.find(name);
    return it == factories_.end() ? Factory() : it->second;
  }

  // A new instance of the named class, or null when no class has that name.
  std::shared_ptr<Base> create(std::string_view name, Args... args) const {
    Factory found = factory(name);
    return found ? found(std::forward<Args>(args)...) : nullptr;
  }

  // Registered names beginning with the prefix, sorted.
  std::vector<std::string> names(std::string_view prefix = {}) const {
    platform::MutexLock lock(mutex_);
    std::vector<std::string> result;
    for (const auto& [name, factory] : factories_) {
      if (std::string_view(name).substr(0, prefix.size()) == prefix) result.push_back(name);
    }
    return result;
  }

 private:
  ClassRegistry() = default;
  mutable platform::Mutex mutex_;
  std::map<std::string, Factory, std::less<>> factories_ VKR_GUARDED_BY(mutex_);
};

template <typename Base, typename Derived, typename... Args>
struct ClassRegistrar {
  explicit ClassRegistrar(const char* name) {
    ClassRegistry<Base, Args...>::instance().add(name, [](Args... args) -> std::shared_ptr<Base> {
      return std::make_shared<Derived>(std::forward<Args>(args)...);
    });
  }
};

// Protocols (interfaces) known by name, for code that asks at run time whether one exists.
// Registering a name twice answers the first registration.
struct Protocol {
  std::string name;
};
const Protocol* registerProtocol(std::string_view name);
// The protocol registered under the name, or null.
const Protocol* findProtocol(std::string_view name);

// Work that must run once early in start-up (what a class would do when it is loaded): hooks
// register themselves at static-init time and the host runs them all, sorted by name, once.
void registerLoadHook(std::string name, std::function<void()> hook);
void runLoadHooks();

}  // namespace platform

#define PLATFORM_CONCAT_INNER(a, b) a##b
#define PLATFORM_CONCAT(a, b) PLATFORM_CONCAT_INNER(a, b)

// Registers Derived under its own name in the registry of Base (constructed with Args...).
// The library holding the registration must be linked whole (vokaru_link_whole).
#define PLATFORM_REGISTER_CLASS(Base, Derived, ...)                                 \
  static const ::platform::ClassRegistrar<Base, Derived __VA_OPT__(, ) __VA_ARGS__> \
  PLATFORM_CONCAT(kRegistrar_, __LINE__)(#Derived)

// Registers a protocol under the given name at static-init time.
#define PLATFORM_REGISTER_PROTOCOL(name)                                           \
  static const ::platform::Protocol* const PLATFORM_CONCAT(kProtocol_, __LINE__) = \
      ::platform::registerProtocol(name)

#define PLATFORM_LOAD_HOOK(name, ...)                       \
  static const bool PLATFORM_CONCAT(kLoadHook_, __LINE__) = \
      (::platform::registerLoadHook(name, __VA_ARGS__), true)
