#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/storage/app_container.h"
#include "platform/storage/bundle.h"

namespace platform {

// Where the running app's files are. An empty path takes the default.
struct AppEnvironmentOptions {
  // The read-only app bundle (config.xml, www/, Info.plist). Default: the folder of the running
  // executable.
  std::filesystem::path bundle{};
  // The app's writable home. Default: $XDG_DATA_HOME/vokaru/apps/<bundle id>.
  std::filesystem::path appHome{};
  // The keychain's folder, kept outside the app home so that it outlives a reinstall, which wipes
  // the home. Default: $XDG_DATA_HOME/vokaru/keychains/<bundle id>.
  std::filesystem::path keychainFolder{};
};

// The app's bundle and its places on disk, set once at start (by the shell, from its command
// line) or by a test. Immutable once made; configure() replaces it as a whole.
class AppEnvironment {
 public:
  // Makes the environment the process's current one. Process-wide objects made for an earlier
  // environment (the standard user defaults, the shared keychain) are made anew for this one when
  // next asked for. Nothing is created on disk here.
  static std::shared_ptr<const AppEnvironment> configure(const AppEnvironmentOptions& options);
  // The current environment; the default one when nothing was configured.
  static std::shared_ptr<const AppEnvironment> current();

  const Bundle& mainBundle() const { return bundle_; }
  const std::filesystem::path& bundlePath() const { return bundle_.bundlePath(); }
  // The main bundle's "CFBundleIdentifier", or the bundle folder's name when it has none.
  const std::string& bundleIdentifier() const { return bundleIdentifier_; }
  // The bundle identifier made safe as one file or folder name (no "/", never "." or "..").
  const std::string& storageName() const { return storageName_; }
  const std::filesystem::path& appHome() const { return appHome_; }
  const std::filesystem::path& keychainFolder() const { return keychainFolder_; }
  // The app's container: the bundle to read, the app home to read and write, the keychain
  // folder outside. Resolved when asked for, as its folders may appear after configuration.
  AppContainer container() const;

  // Counts configurations, so holders of per-environment objects can tell when to renew them.
  uint64_t generation() const { return generation_; }

  explicit AppEnvironment(const AppEnvironmentOptions& options, uint64_t generation);

 private:
  Bundle bundle_;
  std::string bundleIdentifier_;
  std::string storageName_;
  std::filesystem::path appHome_;
  std::filesystem::path keychainFolder_;
  uint64_t generation_;
};

}  // namespace platform
