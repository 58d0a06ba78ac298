#pragma once

#include <filesystem>

namespace platform {

// The folders of the running app's home (from the current app environment). Each is created,
// with its parents, when asked for, so callers can write into it at once; a folder that cannot
// be created is logged and its path answered all the same (the caller's write then fails with
// its own error).
class AppHome {
 public:
  static std::filesystem::path root();
  static std::filesystem::path documents();           // Documents/
  static std::filesystem::path library();             // Library/
  static std::filesystem::path preferences();         // Library/Preferences/
  static std::filesystem::path caches();              // Library/Caches/
  static std::filesystem::path applicationSupport();  // Library/Application Support/
  // tmp/: the app's own temporary folder, never the shared /tmp.
  static std::filesystem::path temporary();
};

}  // namespace platform
