#include "platform/web/webkit/engine_memory.h"

#include <dlfcn.h>

namespace platform::web {

bool releaseEngineFreeMemory() {
  // WebKit's own call for this (it makes it under memory pressure) is exported but not part of
  // its stable interface, so it is looked up rather than linked: a WebKit without it still runs.
  using Release = void (*)();
  static const auto release =
      reinterpret_cast<Release>(dlsym(RTLD_DEFAULT, "_ZN3WTF27releaseFastMallocFreeMemoryEv"));
  if (!release) return false;
  release();
  return true;
}

}  // namespace platform::web
