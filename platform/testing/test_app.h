#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/storage/app_environment.h"
#include "platform/testing/temp_dir.h"

namespace platform::testing {

// A throw-away app for one test: a bundle folder whose Info.plist has the identifier (and any
// further entries), an empty app home and keychain folder, all in one temporary folder, made the
// process's app environment. So tests never touch the real home. When it ends, the standard user
// defaults write what is pending and are dropped, the environment is put back as it was (the
// standard user defaults and the shared keychain are made anew for it when next used) and the
// folder is removed.
class TestApp {
 public:
  explicit TestApp(std::string bundleIdentifier = "com.example.vokaru-test", Dictionary info = {});
  ~TestApp();
  TestApp(const TestApp&) = delete;
  TestApp& operator=(const TestApp&) = delete;

  const std::filesystem::path& bundlePath() const { return options_.bundle; }
  const std::filesystem::path& appHome() const { return options_.appHome; }
  const std::filesystem::path& keychainFolder() const { return options_.keychainFolder; }

  // Writes a file, with its folders, into the bundle.
  void writeBundleFile(const std::filesystem::path& relative, std::string_view content) const;

 private:
  TempDir root_;
  AppEnvironmentOptions options_;
  AppEnvironmentOptions previous_;
};

}  // namespace platform::testing
