#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace platform {

// A regular file's bytes mapped read-only into memory for as long as the object lives: a large
// file is read without first filling memory of its own with a copy (fresh memory costs a page
// fault per page). The pages are read as they are used; a file another program shortens while it
// is mapped loses its tail (reading there raises SIGBUS), so map files this app owns.
class MappedFile {
 public:
  // Null when the path is no regular file or cannot be read.
  static std::shared_ptr<const MappedFile> open(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<const uint8_t> bytes() const { return bytes_; }

 private:
  explicit MappedFile(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  const std::span<const uint8_t> bytes_;
};

}  // namespace platform
