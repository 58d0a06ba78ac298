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
}  // namespace

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
