#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform::media {

inline constexpr const char* kPhotoLibraryErrorDomain = "PhotoLibraryErrorDomain";
enum PhotoLibraryErrorCode : int64_t {
  kPhotoLibraryAccessDenied = 1,  // the user (or a policy) refused access to the library
  kPhotoLibraryWriteFailed = 2,
};

enum class PhotoLibraryAuthorization {
  NotDetermined = 0,
  Restricted = 1,
  Denied = 2,
  Authorized = 3
};

// One photo or video of the library, with its one representation: the stored file.
class PhotoAsset {
 public:
  PhotoAsset(std::string url, std::filesystem::path path, uint64_t size, Date date);

  // "assets-library://asset/asset.<EXT>?id=<id>&ext=<EXT>"
  const std::string& url() const { return url_; }
  // When the asset was added.
  Date date() const { return date_; }
  // The representation's file name ("<id>.<EXT>"), its size in bytes and MIME type.
  std::string filename() const { return path_.filename().string(); }
  uint64_t size() const { return size_; }
  std::optional<std::string> mimeType() const;
  // Up to `length` bytes from `offset`; fewer where the data ends, none from past its end.
  Result<Bytes> bytes(uint64_t offset, uint64_t length) const;

 private:
  std::string url_;
  std::filesystem::path path_;
  uint64_t size_;
  Date date_;
};

// The device's photo library: on Linux a folder of the app home ("Media/PhotoLibrary"), one file
// per asset, addressed by "assets-library:" URLs. Thread-safe.
class PhotoLibrary {
 public:
  using AssetResult = std::function<void(std::optional<PhotoAsset> asset)>;
  using Failure = std::function<void(const Error& error)>;

  // The folder of the current app environment; created when asked for.
  static std::filesystem::path folder();

  // Access is granted unless a host or a test refuses it.
  static PhotoLibraryAuthorization authorizationStatus();
  static void setAuthorizationStatus(PhotoLibraryAuthorization status);

  // Looks the asset up on a worker thread and answers there, after this call has returned: with
  // the asset, with nothing when the URL names none, or through `failure` when access is refused.
  static void assetForURL(std::string url, AssetResult result, Failure failure);

  // The asset URL of a file of the library's folder; nothing for any other file.
  static std::optional<std::string> assetURLForFile(const std::filesystem::path& file);

  // Stores the data as a new asset with the extension (letters and digits); answers its URL.
  static Result<std::string> writeAsset(const Bytes& data, std::string_view extension);
};

}  // namespace platform::media
