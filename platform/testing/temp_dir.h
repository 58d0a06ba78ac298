#pragma once

#include <filesystem>

namespace platform::testing {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const {
    return path_ / relative;
  }

 private:
  std::filesystem::path path_;
};

// Writes a file (creating its folders) with the given content.
void writeFile(const std::filesystem::path& path, std::string_view content);
// The whole content of a file, or "" when it can't be read.
std::string readFile(const std::filesystem::path& path);

}  // namespace platform::testing
