#include "platform/media/photo_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/dispatch/queue.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/url.h"
#include "platform/media/mime_type.h"
#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"

namespace platform::media {

namespace fs = std::filesystem;

namespace {

std::atomic<PhotoLibraryAuthorization> authorization{PhotoLibraryAuthorization::Authorized};

// Ids and extensions become a file name: only letters, digits and "-" (ids), so no URL can name
// a file outside the library's folder.
bool isToken(std::string_view text, bool allowDash, size_t maxLength) {
  if (text.empty() || text.size() > maxLength) return false;
  return std::all_of(text.begin(), text.end(), [allowDash](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (allowDash && c == '-');
  });
}

std::string uppercased(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return upper;
}

std::string assetURL(std::string_view id, std::string_view extension) {
  return "assets-library://asset/asset." + std::string(extension) + "?id=" + std::string(id) +
         "&ext=" + std::string(extension);
}

Error accessDenied() {
  return Error::withDescription(kPhotoLibraryErrorDomain, kPhotoLibraryAccessDenied,
                                "The user has denied this application access to the photos.");
}

std::optional<PhotoAsset> lookUp(const std::string& text) {
  Result<URL> url = URL::parse(text);
  if (!url || url->scheme() != "assets-library" || url->host() != "asset") return std::nullopt;
  std::optional<std::string> id;
  std::optional<std::string> extension;
  for (const URLQueryItem& item : url->queryItems()) {
    if (item.name == "id" && !id) id = item.value;
    if (item.name == "ext" && !extension) extension = item.value;
  }
  if (!id || !extension || !isToken(*id, true, 64) || !isToken(*extension, false, 16)) {
    return std::nullopt;
  }
  const fs::path path = PhotoLibrary::folder() / (*id + "." + uppercased(*extension));
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const Date modified{static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9};
  return PhotoAsset(assetURL(*id, uppercased(*extension)), path,
                    static_cast<uint64_t>(info.st_size), modified);
}

}  // namespace

PhotoAsset::PhotoAsset(std::string url, fs::path path, uint64_t size, Date date)
    : url_(std::move(url)), path_(std::move(path)), size_(size), date_(date) {}

std::optional<std::string> PhotoAsset::mimeType() const {
  return mimeTypeForExtension(pathExtension(path_.string()));
}

Result<Bytes> PhotoAsset::bytes(uint64_t offset, uint64_t length) const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileManager::errorForErrno(errno, path_, FileManager::Access::Read);
  Bytes data;
  const uint64_t available = offset < size_ ? size_ - offset : 0;
  data.resize(static_cast<size_t>(std::min(length, available)));
  size_t filled = 0;
  while (filled < data.size()) {
    const ssize_t n = ::pread(fd, data.data() + filled, data.size() - filled,
                              static_cast<off_t>(offset + filled));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int failure = errno;
      ::close(fd);
      return FileManager::errorForErrno(failure, path_, FileManager::Access::Read);
    }
    if (n == 0) break;  // the file shrank since it was measured
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(filled);
  return data;
}

fs::path PhotoLibrary::folder() {
  fs::path path = AppEnvironment::current()->appHome() / "Media" / "PhotoLibrary";
  (void)FileManager::createDirectory(path);
  return path;
}

PhotoLibraryAuthorization PhotoLibrary::authorizationStatus() { return authorization.load(); }

void PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization status) {
  authorization.store(status);
}

void PhotoLibrary::assetForURL(std::string url, AssetResult result, Failure failure) {
  globalQueue()->async(
      [url = std::move(url), result = std::move(result), failure = std::move(failure)] {
        if (authorizationStatus() != PhotoLibraryAuthorization::Authorized) {
          failure(accessDenied());
          return;
        }
        result(lookUp(url));
      });
}

std::optional<std::string> PhotoLibrary::assetURLForFile(const fs::path& file) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(file, error);
  if (error || canonical.parent_path() != fs::weakly_canonical(folder(), error) || error) {
    return std::nullopt;
  }
  const std::string id = canonical.stem().string();
  const std::string extension = canonical.extension().string();
  if (extension.size() < 2 || !isToken(id, true, 64) ||
      !isToken(std::string_view(extension).substr(1), false, 16)) {
    return std::nullopt;
  }
  return assetURL(id, uppercased(std::string_view(extension).substr(1)));
}

Result<std::string> PhotoLibrary::writeAsset(const Bytes& data, std::string_view extension) {
  if (authorizationStatus() != PhotoLibraryAuthorization::Authorized) return accessDenied();
  if (!isToken(extension, false, 16)) {
    return Error::withDescription(kPhotoLibraryErrorDomain, kPhotoLibraryWriteFailed,
                                  "An asset's extension is letters and digits.");
  }
  const std::string id = randomUUIDString();
  const std::string upper = uppercased(extension);
  if (Status written = FileManager::writeAtomically(folder() / (id + "." + upper), data);
      !written) {
    Error error(kPhotoLibraryErrorDomain, kPhotoLibraryWriteFailed,
                Value::dictionary({{Error::kDescriptionKey, "The asset could not be saved."},
                                   {Error::kUnderlyingErrorKey, written.error().description()}}));
    return error;
  }
  return assetURL(id, upper);
}

}  // namespace platform::media
