#include "platform/foundation/class_registry.h"

namespace platform {

namespace {
struct LoadHooks {
  std::mutex mutex;
  std::map<std::string, std::function<void()>> hooks;
  bool ran = false;
};
LoadHooks& loadHooks() {
  static LoadHooks* hooks = new LoadHooks();
  return *hooks;
}

struct Protocols {
  std::mutex mutex;
  // Nodes never move, so the pointers handed out stay valid for the life of the process.
  std::map<std::string, Protocol, std::less<>> byName;
};
Protocols& protocols() {
  static Protocols* registry = new Protocols();  // used from static initialisers
  return *registry;
}
}  // namespace

const Protocol* registerProtocol(std::string_view name) {
  std::lock_guard lock(protocols().mutex);
  auto it = protocols().byName.find(name);
  if (it == protocols().byName.end()) {
    it = protocols().byName.emplace(std::string(name), Protocol{std::string(name)}).first;
  }
  return &it->second;
}

const Protocol* findProtocol(std::string_view name) {
  std::lock_guard lock(protocols().mutex);
  auto it = protocols().byName.find(name);
  return it == protocols().byName.end() ? nullptr : &it->second;
}

void registerLoadHook(std::string name, std::function<void()> hook) {
  std::lock_guard lock(loadHooks().mutex);
  loadHooks().hooks[std::move(name)] = std::move(hook);
}

void runLoadHooks() {
  std::map<std::string, std::function<void()>> hooks;
  {
    std::lock_guard lock(loadHooks().mutex);
    if (loadHooks().ran) return;
    loadHooks().ran = true;
    hooks = loadHooks().hooks;
  }
  for (const auto& [name, hook] : hooks) hook();
}

}  // namespace platform
