#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/media/mime_type.h"
#include "platform/storage/file_manager.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::FileManager;
using platform::Value;

namespace {

constexpr int32_t kOK = kVKRCommandStatusOK;
constexpr int32_t kIOError = kVKRCommandStatusIOError;
constexpr int32_t kError = kVKRCommandStatusError;
constexpr const char* kBackupMetadataKey = "com.apple.MobileBackup";

struct Normalized {
  std::string path;
  bool climbed = false;  // a ".." found nothing to remove: the path leads above its start
};

Normalized normalized(std::string_view path, bool dropDots) {
  const bool absolute = path.starts_with('/');
  std::vector<std::string_view> kept;
  bool climbed = false;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (component.empty() || (dropDots && component == ".")) continue;
    if (component != "..") {
      kept.push_back(component);
      continue;
    }
    auto before =
        std::find_if(kept.rbegin(), kept.rend(), [](std::string_view kept) { return kept != "."; });
    if (before == kept.rend()) {
      climbed = true;
    } else {
      kept.erase(std::next(before).base());
    }
  }
  std::string joined = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) joined += '/';
    joined += kept[i];
  }
  return {std::move(joined), climbed};
}

// The last component of a path: "/" for "/", "" for "", trailing "/" ignored.
std::string lastPathComponent(std::string_view path) {
  if (path == "/") return "/";
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The query of a full path, with its "?", or "".
std::string_view queryOf(std::string_view fullPath) {
  const size_t question = fullPath.find('?');
  return question == std::string_view::npos ? std::string_view() : fullPath.substr(question);
}

// A path as it is on the device, symbolic links resolved where they exist, so two names of one
// item compare equal.
std::string canonical(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  std::string text = (error ? fs::path(path).lexically_normal() : resolved).string();
  while (text.size() > 1 && text.ends_with('/')) text.pop_back();
  return text;
}

bool isNumberOption(const Dictionary& options, std::string_view key) {
  const Value* value = options.find(key);
  return value && value->isNumber() && value->boolOr(false);
}

bool hasEntries(const std::string& path) {
  platform::Result<std::vector<std::string>> names = FileManager::contentsOfDirectory(path);
  return names.ok() && !names->empty();
}

// Names given for a copy or move are one component: nothing that could lead elsewhere.
bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

int32_t copyErrorCode(const platform::Error& error) {
  switch (error.code()) {
    case platform::kFileReadUnknownError:
    case platform::kFileReadTooLargeError:
      return kVKRFileNotReadableError;
    case platform::kFileWriteOutOfSpaceError:
      return kVKRFileQuotaExceededError;
    case platform::kFileWriteNoPermissionError:
      return kVKRFileNoModificationAllowedError;
    default:
      return kVKRFileInvalidModificationError;
  }
}

// The file's bytes in [start, end), the range clamped to the file (a negative end is its end).
std::optional<platform::Bytes> readRange(const std::string& path, int64_t start, int64_t end) {
  // Non-blocking, so a FIFO can't hold the caller; only regular files are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  const int64_t size = info.st_size;
  const int64_t from = std::clamp<int64_t>(start, 0, size);
  const int64_t to = end < 0 ? size : std::clamp<int64_t>(end, from, size);
  platform::Bytes data(static_cast<size_t>(to - from));
  size_t filled = 0;
  while (filled < data.size()) {
    const ssize_t n = ::pread(fd, data.data() + filled, data.size() - filled,
                              static_cast<off_t>(from + static_cast<int64_t>(filled)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;  // the file shrank meanwhile
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(filled);
  return data;
}

bool writeAll(int fd, const platform::Bytes& data) {
  size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

// Claims a normalised device path for a root: the full path inside it, or nothing.
static std::optional<std::string> fullPathUnder(const std::string& normal,
                                                const std::string& root) {
  if (normal == root) return std::string();
  if (root.empty() || !normal.starts_with(root)) return std::nullopt;
  if (root.ends_with('/')) return normal.substr(root.size());
  if (normal.size() > root.size() && normal[root.size()] == '/') return normal.substr(root.size());
  return std::nullopt;
}

VKRLocalFilesystem::VKRLocalFilesystem(std::string name, std::string root,
                                       std::shared_ptr<const platform::AppContainer> container)
    : VKRFileSystem(std::move(name)), fsRoot_(std::move(root)), container_(std::move(container)) {
  while (fsRoot_.size() > 1 && fsRoot_.ends_with('/')) fsRoot_.pop_back();
  resolvedRoot_ = platform::resolvedDevicePath(fsRoot_);
}

std::string VKRLocalFilesystem::stripQueryParametersFromPath(std::string_view path) {
  return std::string(path.substr(0, path.find('?')));
}

std::string VKRLocalFilesystem::normalizePath(std::string_view path) {
  return normalized(path, false).path;
}

std::optional<std::string> VKRLocalFilesystem::filesystemPathForFullPath(
    std::string_view fullPath) const {
  const std::string stripped = stripQueryParametersFromPath(fullPath);
  if (stripped.find('\0') != std::string::npos) return std::nullopt;
  const Normalized inside = normalized(stripped, true);
  if (inside.climbed) return std::nullopt;
  std::string path = fsRoot_;
  if (!inside.path.empty() && !inside.path.starts_with('/') && !fsRoot_.ends_with('/')) {
    path += '/';
  }
  path += inside.path;
  if (path.size() >= 2 && path.ends_with('/')) path.pop_back();
  return path;
}

std::optional<std::string> VKRLocalFilesystem::filesystemPathForURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item || refusal(item->path, false) != 0) return std::nullopt;
  return item->path;
}

std::optional<std::string> VKRLocalFilesystem::fullPathForFileSystemPath(
    std::string_view path) const {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string normal = fs::path(path).lexically_normal().string();
  std::optional<std::string> fullPath = fullPathUnder(normal, fsRoot_);
  if (!fullPath && resolvedRoot_ != fsRoot_) fullPath = fullPathUnder(normal, resolvedRoot_);
  return fullPath;
}

std::optional<VKRFilesystemURL> VKRLocalFilesystem::URLforFullPath(
    const std::optional<std::string>& fullPath) const {
  if (!fullPath) return std::nullopt;
  const std::string escaped = platform::percentEncode(*fullPath, platform::kURLPathAllowed);
  const std::string separator = fullPath->starts_with('/') ? "" : "/";
  return VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/" + name() + separator +
                                                   escaped);
}

std::optional<VKRFilesystemURL> VKRLocalFilesystem::URLforFilesystemPath(std::string_view path) {
  return URLforFullPath(fullPathForFileSystemPath(path));
}

bool VKRLocalFilesystem::canCopyMoveSrc(std::string_view source, std::string_view destination) {
  const std::string from = canonical(std::string(source));
  const std::string to = canonical(std::string(destination));
  if (to == from) return false;
  return !to.starts_with(from.ends_with('/') ? from : from + "/");
}

std::optional<std::string> VKRLocalFilesystem::getMimeTypeFromPath(
    const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  return platform::media::mimeTypeForExtension(platform::media::pathExtension(*path));
}

std::optional<VKRLocalFilesystem::Item> VKRLocalFilesystem::itemForFullPath(
    std::string_view fullPath) const {
  std::optional<std::string> path = filesystemPathForFullPath(fullPath);
  if (!path) return std::nullopt;
  return Item{
      normalizePath(stripQueryParametersFromPath(fullPath)) + std::string(queryOf(fullPath)),
      std::move(*path)};
}

std::optional<VKRLocalFilesystem::Item> VKRLocalFilesystem::itemForURL(
    const VKRFilesystemURL& url) const {
  if (!url.fullPath()) return std::nullopt;
  return itemForFullPath(*url.fullPath());
}

bool VKRLocalFilesystem::isRoot(const std::string& path) const {
  return canonical(path) == canonical(fsRoot_);
}

int32_t VKRLocalFilesystem::refusal(const std::string& path, bool writing) const {
  if (!container_) return 0;
  const platform::ContainerAccess access = container_->access(path);
  if (access == platform::ContainerAccess::None) return kVKRFileSecurityError;
  if (writing && access != platform::ContainerAccess::ReadWrite) {
    return kVKRFileNoModificationAllowedError;
  }
  return 0;
}

Dictionary VKRLocalFilesystem::makeEntryForPath(const std::string& fullPath, bool isDirectory) {
  std::optional<std::string> nativeURL;
  if (std::optional<std::string> path = filesystemPathForFullPath(fullPath)) {
    if (auto url = platform::URL::fileURL(*path, isDirectory)) nativeURL = url->absoluteString();
  }
  return entry(fullPath, lastPathComponent(stripQueryParametersFromPath(fullPath)), isDirectory,
               nativeURL);
}

std::optional<Dictionary> VKRLocalFilesystem::makeEntryForLocalURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  bool isDirectory = false;
  if (!item || refusal(item->path, false) != 0 ||
      !FileManager::fileExists(item->path, &isDirectory)) {
    return std::nullopt;
  }
  return makeEntryForPath(item->fullPath, isDirectory);
}

VKRPluginResult VKRLocalFilesystem::entryForLocalURI(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, false)) return vkrFileErrorResult(kIOError, refused);
  std::optional<Dictionary> found = makeEntryForLocalURL(url);
  if (!found) return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  return VKRPluginResult::resultWithStatus(kOK, std::move(*found));
}

VKRPluginResult VKRLocalFilesystem::getFileForURL(const VKRFilesystemURL& url,
                                                  const std::string& requestedPath,
                                                  const Dictionary& options) {
  const bool create = isNumberOption(options, "create");
  const bool exclusive = isNumberOption(options, "exclusive");
  const bool getDir = isNumberOption(options, "getDir");
  if (requestedPath.find(':') != std::string::npos || !url.fullPath()) {
    return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  }
  const std::string directory = stripQueryParametersFromPath(*url.fullPath());
  const Normalized target = normalized(directory + "/" + requestedPath, false);
  std::optional<Item> item = target.climbed ? std::nullopt : itemForFullPath(target.path);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, false)) return vkrFileErrorResult(kIOError, refused);

  bool isDirectory = false;
  const bool exists = FileManager::fileExists(item->path, &isDirectory);
  // An existing item of the other kind is never answered as the kind asked for.
  if (exists && isDirectory != getDir) {
    return vkrFileErrorResult(kIOError, kVKRFileTypeMismatchError);
  }
  if (!create && !exists) return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  if (create && exclusive && exists) return vkrFileErrorResult(kIOError, kVKRFilePathExistsError);
  if (create && !exists) {
    if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kIOError, refused);
    if (getDir) {
      if (platform::Status made = FileManager::createDirectory(item->path, false); !made) {
        platform::logf("error creating directory: %s", made.error().localizedDescription().c_str());
        return vkrFileErrorResult(kIOError, kVKRFileAbortError);
      }
    } else {
      const int fd = ::open(item->path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0) return vkrFileErrorResult(kIOError, kVKRFileAbortError);
      ::close(fd);
    }
  }
  return VKRPluginResult::resultWithStatus(kOK, makeEntryForPath(item->fullPath, getDir));
}

VKRPluginResult VKRLocalFilesystem::getParentForURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  std::string parent = stripQueryParametersFromPath(item->fullPath);
  if (!parent.empty() && parent != "/") {
    const size_t slash = parent.rfind('/');
    parent = slash == std::string::npos ? std::string() : parent.substr(0, slash);
  }
  std::optional<Item> parentItem = itemForFullPath(parent);
  if (int32_t refused = parentItem ? refusal(parentItem->path, false) : 0) {
    return vkrFileErrorResult(kIOError, refused);
  }
  bool isDirectory = false;
  if (!parentItem || !FileManager::fileExists(parentItem->path, &isDirectory)) {
    return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  }
  return VKRPluginResult::resultWithStatus(kOK,
                                           makeEntryForPath(parentItem->fullPath, isDirectory));
}

VKRPluginResult VKRLocalFilesystem::setMetadataForURL(const VKRFilesystemURL& url,
                                                      const Dictionary& metadata) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kError, refused);
  const Value* excluded = metadata.find(kBackupMetadataKey);
  if (!excluded || !excluded->isNumber()) return VKRPluginResult::resultWithStatus(kError);
  if (!FileManager::setExcludedFromBackup(item->path, excluded->boolOr(false))) {
    return VKRPluginResult::resultWithStatus(kError);
  }
  return VKRPluginResult::resultWithStatus(kOK);
}

VKRPluginResult VKRLocalFilesystem::removeFileAtURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kIOError, refused);
  if (isRoot(item->path)) return vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError);
  platform::Result<platform::FileAttributes> attributes = FileManager::attributesOfItem(item->path);
  if (!attributes) return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  if (attributes->type == platform::FileType::Directory && hasEntries(item->path)) {
    return vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError);
  }
  return doRemove(item->path);
}

VKRPluginResult VKRLocalFilesystem::recursiveRemoveFileAtURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kIOError, refused);
  if (isRoot(item->path)) return vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError);
  return doRemove(item->path);
}

VKRPluginResult VKRLocalFilesystem::doRemove(const std::string& path) {
  platform::Status removed = FileManager::removeItem(path);
  if (removed) return VKRPluginResult::resultWithStatus(kOK);
  platform::logf("error removing filesystem entry at %s: %s", path.c_str(),
                 removed.error().localizedDescription().c_str());
  switch (removed.error().code()) {
    case platform::kFileNoSuchFileError:
      return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
    case platform::kFileWriteNoPermissionError:
      return vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError);
    default:
      return vkrFileErrorResult(kIOError, kVKRFileAbortError);
  }
}

VKRPluginResult VKRLocalFilesystem::readEntriesAtURL(const VKRFilesystemURL& url) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, false)) return vkrFileErrorResult(kIOError, refused);
  platform::Result<std::vector<std::string>> names = FileManager::contentsOfDirectory(item->path);
  if (!names) return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  Value::Array entries;
  for (const std::string& name : *names) {
    const std::string child = (fs::path(item->path) / name).string();
    bool isDirectory = false;
    FileManager::fileExists(child, &isDirectory);
    entries.emplace_back(
        makeEntryForPath(fullPathForFileSystemPath(child).value_or(""), isDirectory));
  }
  return VKRPluginResult::resultWithStatus(kOK, std::move(entries));
}

VKRPluginResult VKRLocalFilesystem::truncateFileAtURL(const VKRFilesystemURL& url,
                                                      int64_t atPosition) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kIOError, refused);
  if (atPosition < 0) return vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError);
  const int fd = ::open(item->path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    return vkrFileErrorResult(kIOError,
                              missing ? kVKRFileNotFoundError : kVKRFileNoModificationAllowedError);
  }
  if (::ftruncate(fd, static_cast<off_t>(atPosition)) != 0) {
    const bool full = errno == ENOSPC || errno == EDQUOT;
    ::close(fd);
    return vkrFileErrorResult(kIOError,
                              full ? kVKRFileQuotaExceededError : kVKRFileInvalidModificationError);
  }
  ::fsync(fd);
  ::close(fd);
  return VKRPluginResult::resultWithStatus(kOK, atPosition);
}

VKRPluginResult VKRLocalFilesystem::writeToFileAtURL(const VKRFilesystemURL& url,
                                                     const platform::Bytes& data, bool append) {
  std::optional<Item> item = itemForURL(url);
  if (!item) return vkrFileErrorResult(kError, kVKRFileEncodingError);
  if (int32_t refused = refusal(item->path, true)) return vkrFileErrorResult(kError, refused);
  if (data.empty()) return VKRPluginResult::resultWithStatus(kOK, 0.0);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : O_TRUNC);
  const int fd = ::open(item->path.c_str(), flags, 0644);
  if (fd < 0) return vkrFileErrorResult(kError, kVKRFileInvalidModificationError);
  const bool written = writeAll(fd, data);
  if (::close(fd) != 0 || !written) {
    return vkrFileErrorResult(kError, kVKRFileInvalidModificationError);
  }
  return VKRPluginResult::resultWithStatus(kOK, static_cast<int64_t>(data.size()));
}

void VKRLocalFilesystem::readFileAtURL(const VKRFilesystemURL& url, int64_t start, int64_t end,
                                       ReadCallback callback) {
  std::optional<Item> item = itemForURL(url);
  if (!item) {
    callback(std::nullopt, std::nullopt, kVKRFileEncodingError);
    return;
  }
  if (int32_t refused = refusal(item->path, false)) {
    callback(std::nullopt, std::nullopt, refused);
    return;
  }
  std::optional<platform::Bytes> data = readRange(item->path, start, end);
  if (!data) {
    callback(std::nullopt, std::nullopt, kVKRFileNotFoundError);
    return;
  }
  callback(std::move(data), getMimeTypeFromPath(item->path).value_or("*/*"), 0);
}

void VKRLocalFilesystem::getFileMetadataForURL(const VKRFilesystemURL& url,
                                               ResultCallback callback) {
  std::optional<Item> item = itemForURL(url);
  if (!item) {
    callback(vkrFileErrorResult(kError, kVKRFileEncodingError));
    return;
  }
  if (int32_t refused = refusal(item->path, false)) {
    callback(vkrFileErrorResult(kError, refused));
    return;
  }
  platform::Result<platform::FileAttributes> attributes = FileManager::attributesOfItem(item->path);
  if (!attributes) {
    platform::logf("error getting metadata: %s", attributes.error().localizedDescription().c_str());
    const int64_t code = attributes.error().code();
    const bool missing =
        code == platform::kFileNoSuchFileError || code == platform::kFileReadNoSuchFileError;
    callback(vkrFileErrorResult(kError, missing ? kVKRFileNotFoundError : kVKRFileAbortError));
    return;
  }
  const bool regular = attributes->type == platform::FileType::Regular;
  callback(VKRPluginResult::resultWithStatus(
      kOK, Dictionary{
               {"fullPath", item->fullPath},
               {"type", ""},
               {"name", fs::path(item->path).filename().string()},
               {"size", regular ? attributes->size : uint64_t{0}},
               {"lastModifiedDate", attributes->modificationDate.secondsSince1970 * 1000.0},
           }));
}

void VKRLocalFilesystem::copyFileToURL(const VKRFilesystemURL& destinationURL,
                                       const std::string& newName, VKRFileSystem& sourceFileSystem,
                                       const VKRFilesystemURL& sourceURL, bool copy,
                                       ResultCallback callback) {
  std::optional<Item> destination = itemForURL(destinationURL);
  if (!destination || !isPlainName(newName)) {
    callback(vkrFileErrorResult(kIOError, kVKRFileEncodingError));
    return;
  }
  const std::string newPath = (fs::path(destination->path) / newName).string();
  if (int32_t refused = refusal(newPath, true)) {
    callback(vkrFileErrorResult(kIOError, refused));
    return;
  }
  if (!FileManager::fileExists(destination->path)) {
    callback(vkrFileErrorResult(kIOError, kVKRFileNotFoundError));
    return;
  }
  const std::string newFullPath = fullPathForFileSystemPath(newPath).value_or("");

  auto* localSource = dynamic_cast<VKRLocalFilesystem*>(&sourceFileSystem);
  if (!localSource) {
    // Another kind of file system (the photo library) is read whole and written here as a
    // file; a move from it copies.
    Dictionary entry = makeEntryForPath(newFullPath, false);
    sourceFileSystem.readFileAtURL(
        sourceURL, 0, -1,
        [callback, newPath, entry = std::move(entry)](std::optional<platform::Bytes> data,
                                                      std::optional<std::string>, int32_t error) {
          if (!data) {
            callback(vkrFileErrorResult(kIOError, error));
          } else if (!FileManager::writeAtomically(newPath, *data)) {
            callback(vkrFileErrorResult(kIOError, kVKRFileAbortError));
          } else {
            callback(VKRPluginResult::resultWithStatus(kOK, entry));
          }
        });
    return;
  }

  std::optional<Item> source = localSource->itemForURL(sourceURL);
  if (!source) {
    callback(vkrFileErrorResult(kIOError, kVKRFileEncodingError));
    return;
  }
  // A move changes the source's folder too.
  if (int32_t refused = localSource->refusal(source->path, !copy)) {
    callback(vkrFileErrorResult(kIOError, refused));
    return;
  }
  // A file system's own folder may be copied, but moving it away would leave the file system
  // without its folder.
  if (!copy && localSource->isRoot(source->path)) {
    callback(vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError));
    return;
  }
  callback(copyOrMove(newPath, newFullPath, source->path, copy));
}

VKRPluginResult VKRLocalFilesystem::copyOrMove(const std::string& newPath,
                                               const std::string& newFullPath,
                                               const std::string& sourcePath, bool copy) {
  bool sourceIsDirectory = false;
  if (!FileManager::fileExists(sourcePath, &sourceIsDirectory)) {
    return vkrFileErrorResult(kIOError, kVKRFileNotFoundError);
  }
  bool newIsDirectory = false;
  const bool newExists = FileManager::fileExists(newPath, &newIsDirectory);
  // Compared as the device resolves them: one folder may have several names (another file
  // system's root, a link).
  if (canonical(newPath) == canonical(sourcePath) ||
      (newExists && sourceIsDirectory && !newIsDirectory) ||
      (sourceIsDirectory && !canCopyMoveSrc(sourcePath, newPath))) {
    return vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError);
  }
  platform::Status done = platform::okStatus();
  if (copy) {
    if (newExists) return vkrFileErrorResult(kIOError, kVKRFilePathExistsError);
    done = FileManager::copyItem(sourcePath, newPath);
  } else {
    if (newExists &&
        ((!sourceIsDirectory && newIsDirectory) || (newIsDirectory && hasEntries(newPath)))) {
      return vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError);
    }
    // What stands at the new path is replaced in one step, so a failed move loses nothing.
    done = newExists ? FileManager::replaceItem(sourcePath, newPath)
                     : FileManager::moveItem(sourcePath, newPath);
  }
  if (!done) return vkrFileErrorResult(kIOError, copyErrorCode(done.error()));
  return VKRPluginResult::resultWithStatus(kOK, makeEntryForPath(newFullPath, sourceIsDirectory));
}
