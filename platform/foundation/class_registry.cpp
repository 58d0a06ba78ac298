#include "platform/foundation/class_registry.h"

namespace platform {

namespace {
struct LoadHooks {
  Mutex mutex;
  std::map<std::string, std::function<void()>> hooks VKR_GUARDED_BY(mutex);
  bool ran VKR_GUARDED_BY(mutex) = false;
};
LoadHooks& loadHooks() {
  static LoadHooks* hooks = new LoadHooks();
  return *hooks;
}

struct Protocols {
  Mutex mutex;
  // Nodes never move, so the pointers handed out stay valid for the life of the process.
  std::map<std::string, Protocol, std::less<>> byName VKR_GUARDED_BY(mutex);
};
Protocols& protocols() {
  static Protocols* registry = new Protocols();  // used from static initialisers
  return *registry;
}
}  // namespace

const Protocol* registerProtocol(std::string_view name) {
  Protocols& registry = protocols();
  MutexLock lock(registry.mutex);
  auto it = registry.byName.find(name);
  if (it == registry.byName.end()) {
    it = registry.byName.emplace(std::string(name), Protocol{std::string(name)}).first;
  }
  return &it->second;
}

const Protocol* findProtocol(std::string_view name) {
  Protocols& registry = protocols();
  MutexLock lock(registry.mutex);
  auto it = registry.byName.find(name);
  return it == registry.byName.end() ? nullptr : &it->second;
}

void registerLoadHook(std::string name, std::function<void()> hook) {
  LoadHooks& registry = loadHooks();
  MutexLock lock(registry.mutex);
  registry.hooks[std::move(name)] = std::move(hook);
}

void runLoadHooks() {
  std::map<std::string, std::function<void()>> hooks;
  {
    LoadHooks& registry = loadHooks();
    MutexLock lock(registry.mutex);
    if (registry.ran) return;
    registry.ran = true;
    hooks = registry.hooks;
  }
  for (const auto& [name, hook] : hooks) hook();
}

}  // namespace platform
