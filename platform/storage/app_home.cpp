#include "platform/storage/app_home.h"

#include "platform/foundation/log.h"
#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

fs::path folder(const fs::path& relative) {
  fs::path home = AppEnvironment::current()->appHome();
  fs::path path = relative.empty() ? home : home / relative;
  if (Status created = FileManager::createDirectory(path); !created) {
    logf("Cannot create %s: %s", path.c_str(), created.error().localizedDescription().c_str());
  }
  return path;
}

}  // namespace

fs::path AppHome::root() { return folder(""); }
fs::path AppHome::documents() { return folder("Documents"); }
fs::path AppHome::library() { return folder("Library"); }
fs::path AppHome::preferences() { return folder("Library/Preferences"); }
fs::path AppHome::caches() { return folder("Library/Caches"); }
fs::path AppHome::applicationSupport() { return folder("Library/Application Support"); }
fs::path AppHome::temporary() { return folder("tmp"); }

}  // namespace platform
