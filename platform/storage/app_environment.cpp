#include "platform/storage/app_environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/thread_annotations.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

platform::Mutex environmentMutex;
std::shared_ptr<const AppEnvironment> currentEnvironment VKR_GUARDED_BY(environmentMutex);
uint64_t configurations VKR_GUARDED_BY(environmentMutex) = 0;

fs::path executableFolder() {
  std::error_code ec;
  fs::path executable = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : executable.parent_path();
}

// $XDG_DATA_HOME, else ~/.local/share.
fs::path dataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  // The base directory rules ignore relative values.
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') {
    const passwd* entry = getpwuid(getuid());
    home = entry ? entry->pw_dir : "/tmp";
  }
  return fs::path(home) / ".local" / "share";
}

// The bundle identifier as one folder name: it must not step out of the data folder.
std::string folderName(std::string identifier) {
  for (char& c : identifier) {
    if (c == '/') c = '_';
  }
  if (identifier.empty() || identifier == "." || identifier == "..") identifier = "_" + identifier;
  return identifier;
}

}  // namespace

AppEnvironment::AppEnvironment(const AppEnvironmentOptions& options, uint64_t generation)
    : bundle_(options.bundle.empty() ? executableFolder() : options.bundle),
      generation_(generation) {
  bundleIdentifier_ = bundle_.bundleIdentifier();
  if (bundleIdentifier_.empty()) bundleIdentifier_ = bundle_.bundlePath().filename().string();
  fs::path vokaruData = dataHome() / "vokaru";
  storageName_ = folderName(bundleIdentifier_);
  appHome_ = options.appHome.empty() ? vokaruData / "apps" / storageName_ : options.appHome;
  keychainFolder_ = options.keychainFolder.empty() ? vokaruData / "keychains" / storageName_
                                                   : options.keychainFolder;
}

std::shared_ptr<const AppEnvironment> AppEnvironment::configure(
    const AppEnvironmentOptions& options) {
  platform::MutexLock lock(environmentMutex);
  currentEnvironment = std::make_shared<const AppEnvironment>(options, ++configurations);
  return currentEnvironment;
}

std::shared_ptr<const AppEnvironment> AppEnvironment::current() {
  platform::MutexLock lock(environmentMutex);
  if (!currentEnvironment) {
    currentEnvironment =
        std::make_shared<const AppEnvironment>(AppEnvironmentOptions{}, ++configurations);
  }
  return currentEnvironment;
}

AppContainer AppEnvironment::container() const {
  return AppContainer::of(bundlePath(), appHome_, keychainFolder_);
}

}  // namespace platform
