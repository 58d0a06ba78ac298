#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// How far a path lies within the app's container.
enum class ContainerAccess { None, Read, ReadWrite };

// The app's container, the part of the machine a confined app reaches: its bundle (read only) and
// its app home (read and write); the keychain folder, even when it lies inside one of those, and
// everything else on the machine are outside. Linux puts no sandbox around a desktop program, so
// the web view and the file plugin hold pages and plugins to this.
//
// Its folders are kept as the device resolves them (symbolic links followed), and every path is
// resolved the same way before it is placed, so a link inside the home that points elsewhere
// leads outside. Built on the C++ library and POSIX only, so that the web process's extension
// compiles it in too. Immutable; thread-safe.
struct AppContainer {
  std::vector<std::string> readOnly;
  std::vector<std::string> readWrite;
  std::vector<std::string> excluded;

  // A container of these folders, each resolved.
  static AppContainer of(const std::filesystem::path& bundle, const std::filesystem::path& appHome,
                         const std::filesystem::path& keychainFolder);

  // Where the path (absolute; resolved here) lies.
  ContainerAccess access(std::string_view path) const;
  bool canRead(std::string_view path) const { return access(path) != ContainerAccess::None; }
  bool canWrite(std::string_view path) const { return access(path) == ContainerAccess::ReadWrite; }
};

// The absolute path as the device resolves it: ".", ".." and empty components gone and every
// symbolic link followed, also a dangling one (whose target a write would create); components
// past the last existing one are taken as written. A relative path, or links that loop or nest
// too deep, give "" (which lies nowhere).
std::string resolvedDevicePath(std::string_view path);

}  // namespace platform
