#include "platform/storage/file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/foundation/thread_annotations.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

platform::Mutex faultMutex;
FileManager::RenameFault renameFault VKR_GUARDED_BY(faultMutex);

Error readError(int errnum, const fs::path& path) {
  return FileManager::errorForErrno(errnum, path, FileManager::Access::Read);
}

Error writeError(int errnum, const fs::path& path) {
  return FileManager::errorForErrno(errnum, path, FileManager::Access::Write);
}

// The errno of a failed std::filesystem call (its codes are errno values on Linux).
int errnoOf(const std::error_code& ec) { return ec.value() ? ec.value() : EIO; }

std::string attributeName(std::string_view name) { return "user." + std::string(name); }

constexpr std::string_view kExcludedFromBackupAttribute = "vokaru.excluded-from-backup";

Result<std::vector<std::string>> list(const fs::path& path, bool recursive) {
  std::error_code ec;
  std::vector<std::string> names;
  if (recursive) {
    fs::recursive_directory_iterator it(path, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      names.push_back(it->path().lexically_relative(path).string());
    }
  } else {
    fs::directory_iterator it(path, ec), end;
    for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
  }
  if (ec) return readError(errnoOf(ec), path);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether anything, even a dangling link, is at the path.
bool isPresent(const fs::path& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

Status writeAll(int fd, const Bytes& content, const fs::path& path) {
  size_t written = 0;
  while (written < content.size()) {
    ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return writeError(errno, path);
    written += static_cast<size_t>(n);
  }
  return okStatus();
}

}  // namespace

Error FileManager::errorForErrno(int errnum, const fs::path& path, Access access) {
  bool read = access == Access::Read;
  int64_t code;
  switch (errnum) {
    case ENOENT:
    case ENOTDIR:
      code = read ? kFileReadNoSuchFileError : kFileNoSuchFileError;
      break;
    case EACCES:
    case EPERM:
      code = read ? kFileReadNoPermissionError : kFileWriteNoPermissionError;
      break;
    case ENOSPC:
    case EDQUOT:
      code = kFileWriteOutOfSpaceError;
      break;
    case EROFS:
      code = kFileWriteVolumeReadOnlyError;
      break;
    case EEXIST:
    case ENOTEMPTY:
      code = kFileWriteFileExistsError;
      break;
    case ENAMETOOLONG:
      code = read ? kFileReadUnknownError : kFileWriteInvalidFileNameError;
      break;
    case EFBIG:
      code = kFileReadTooLargeError;
      break;
    default:
      code = read ? kFileReadUnknownError : kFileWriteUnknownError;
  }
  Value info = Value::dictionary({
      {Error::kDescriptionKey, path.string() + ": " + std::strerror(errnum)},
      {kFilePathErrorKey, path.string()},
      {kPOSIXErrorCodeKey, errnum},
  });
  return Error(kFileErrorDomain, code, std::move(info));
}

bool FileManager::fileExists(const fs::path& path, bool* isDirectory) {
  struct stat info {};
  bool found = stat(path.c_str(), &info) == 0;
  if (isDirectory) *isDirectory = found && S_ISDIR(info.st_mode);
  return found;
}

Status FileManager::createDirectory(const fs::path& path, bool withIntermediates) {
  if (!withIntermediates) {
    if (mkdir(path.c_str(), 0777) != 0) return writeError(errno, path);
    return okStatus();
  }
  std::error_code ec;
  fs::create_directories(path, ec);
  if (!ec) return okStatus();
  // Something that is not a folder already stands there.
  bool isDirectory = false;
  if (fileExists(path, &isDirectory) && !isDirectory) return writeError(EEXIST, path);
  return writeError(errnoOf(ec), path);
}

Status FileManager::removeItem(const fs::path& path) {
  if (!isPresent(path)) return writeError(ENOENT, path);
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) return writeError(errnoOf(ec), path);
  return okStatus();
}

Status FileManager::copyItem(const fs::path& from, const fs::path& to) {
  if (!isPresent(from)) return writeError(ENOENT, from);
  if (isPresent(to)) return writeError(EEXIST, to);
  std::error_code ec;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec) {
    // Leave nothing half-copied behind.
    std::error_code ignored;
    fs::remove_all(to, ignored);
    return writeError(errnoOf(ec), to);
  }
  return okStatus();
}

Status FileManager::moveItem(const fs::path& from, const fs::path& to) {
  if (!isPresent(from)) return writeError(ENOENT, from);
  if (isPresent(to)) return writeError(EEXIST, to);
  if (::rename(from.c_str(), to.c_str()) == 0) return okStatus();
  if (errno != EXDEV) return writeError(errno, to);
  if (Status copied = copyItem(from, to); !copied) return copied;
  return removeItem(from);
}

Status FileManager::replaceItem(const fs::path& from, const fs::path& to) {
  if (!isPresent(from)) return writeError(ENOENT, from);
  if (::rename(from.c_str(), to.c_str()) == 0) return okStatus();
  if (errno != EXDEV) return writeError(errno, to);
  std::string staging = (to.parent_path() / ("." + to.filename().string() + ".XXXXXX")).string();
  if (!mkdtemp(staging.data())) return writeError(errno, to);
  const fs::path staged = fs::path(staging) / to.filename();
  Status moved = copyItem(from, staged);
  if (moved && ::rename(staged.c_str(), to.c_str()) != 0) moved = writeError(errno, to);
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  if (!moved) return moved;
  return removeItem(from);
}

Result<std::vector<std::string>> FileManager::contentsOfDirectory(const fs::path& path) {
  return list(path, false);
}

Result<std::vector<std::string>> FileManager::subpathsOfDirectory(const fs::path& path) {
  return list(path, true);
}

Result<FileAttributes> FileManager::attributesOfItem(const fs::path& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return readError(errno, path);
  FileAttributes attributes;
  if (S_ISREG(info.st_mode)) {
    attributes.type = FileType::Regular;
  } else if (S_ISDIR(info.st_mode)) {
    attributes.type = FileType::Directory;
  } else if (S_ISLNK(info.st_mode)) {
    attributes.type = FileType::SymbolicLink;
  }
  attributes.size = static_cast<uint64_t>(info.st_size);
  attributes.modificationDate =
      Date{static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9};
  attributes.permissions = info.st_mode & 07777;
  return attributes;
}

Status FileManager::setModificationDate(const fs::path& path, Date date) {
  double whole = std::floor(date.secondsSince1970);
  if (!std::isfinite(whole)) return writeError(EINVAL, path);
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(whole);
  times[1].tv_nsec = std::min(static_cast<long>((date.secondsSince1970 - whole) * 1e9), 999999999L);
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return writeError(errno, path);
  return okStatus();
}

Result<std::optional<Bytes>> FileManager::extendedAttribute(const fs::path& path,
                                                            std::string_view name) {
  std::string attribute = attributeName(name);
  while (true) {
    ssize_t size = getxattr(path.c_str(), attribute.c_str(), nullptr, 0);
    if (size < 0 && errno == ENODATA) return std::optional<Bytes>();
    if (size < 0) return readError(errno, path);
    Bytes value(static_cast<size_t>(size));
    ssize_t read = getxattr(path.c_str(), attribute.c_str(), value.data(), value.size());
    // The value may have grown since it was measured: measure again.
    if (read < 0 && errno == ERANGE) continue;
    if (read < 0 && errno == ENODATA) return std::optional<Bytes>();
    if (read < 0) return readError(errno, path);
    value.resize(static_cast<size_t>(read));
    return std::optional<Bytes>(std::move(value));
  }
}

Status FileManager::setExtendedAttribute(const fs::path& path, std::string_view name,
                                         const Bytes& value) {
  std::string attribute = attributeName(name);
  if (setxattr(path.c_str(), attribute.c_str(), value.data(), value.size(), 0) != 0) {
    return writeError(errno, path);
  }
  return okStatus();
}

Status FileManager::removeExtendedAttribute(const fs::path& path, std::string_view name) {
  std::string attribute = attributeName(name);
  if (removexattr(path.c_str(), attribute.c_str()) != 0 && errno != ENODATA) {
    return writeError(errno, path);
  }
  return okStatus();
}

Status FileManager::setExcludedFromBackup(const fs::path& path, bool excluded) {
  if (!excluded) return removeExtendedAttribute(path, kExcludedFromBackupAttribute);
  return setExtendedAttribute(path, kExcludedFromBackupAttribute, bytesOf("1"));
}

Result<bool> FileManager::isExcludedFromBackup(const fs::path& path) {
  Result<std::optional<Bytes>> mark = extendedAttribute(path, kExcludedFromBackupAttribute);
  if (!mark) return mark.error();
  return mark->has_value();
}

Result<uint64_t> FileManager::freeSpace(const fs::path& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return readError(errno, path);
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

Result<Bytes> FileManager::contentsOfFile(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return readError(errno, path);
  Bytes content;
  uint8_t buffer[65536];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int failure = errno;
      ::close(fd);
      return readError(failure, path);
    }
    if (n == 0) break;
    content.insert(content.end(), buffer, buffer + n);
  }
  ::close(fd);
  return content;
}

Status FileManager::writeAtomically(const fs::path& path, const Bytes& content, mode_t mode) {
  std::string temp = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return writeError(errno, path);
  Status written = writeAll(fd, content, path);
  if (written && fchmod(fd, mode) != 0) written = writeError(errno, path);
  if (written && fsync(fd) != 0) written = writeError(errno, path);
  if (::close(fd) != 0 && written) written = writeError(errno, path);
  if (written) {
    RenameFault fault;
    {
      platform::MutexLock lock(faultMutex);
      fault = renameFault;
    }
    int injected = fault ? fault(path) : 0;
    if (injected != 0) {
      written = writeError(injected, path);
    } else if (::rename(temp.c_str(), path.c_str()) != 0) {
      written = writeError(errno, path);
    }
  }
  if (!written) ::unlink(temp.c_str());
  return written;
}

FileManager::RenameFault FileManager::setRenameFaultForTesting(RenameFault fault) {
  platform::MutexLock lock(faultMutex);
  std::swap(renameFault, fault);
  return fault;
}

}  // namespace platform
