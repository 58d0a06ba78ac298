#include "platform/storage/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::shared_ptr<const MappedFile> MappedFile::open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  void* mapped = MAP_FAILED;
  const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  const auto size = regular ? static_cast<size_t>(status.st_size) : 0;
  // An empty file maps to nothing; its bytes are an empty span.
  if (regular && size > 0) {
    mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) ::madvise(mapped, size, MADV_SEQUENTIAL);  // read ahead
  }
  ::close(fd);
  if (!regular || (size > 0 && mapped == MAP_FAILED)) return nullptr;
  const auto* bytes = size > 0 ? static_cast<const uint8_t*>(mapped) : nullptr;
  return std::shared_ptr<const MappedFile>(new MappedFile({bytes, size}));
}

MappedFile::~MappedFile() {
  if (!bytes_.empty()) ::munmap(const_cast<uint8_t*>(bytes_.data()), bytes_.size());
}

}  // namespace platform
