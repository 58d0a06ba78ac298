#include "Plugins/vokaru-plugin-file/vkr_asset_library_filesystem.h"

#include <algorithm>

#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"
#include "platform/foundation/log.h"
#include "platform/media/photo_library.h"

using platform::Dictionary;
using platform::media::PhotoAsset;
using platform::media::PhotoLibrary;

namespace {

constexpr int32_t kOK = kVKRCommandStatusOK;
constexpr int32_t kMalformedUrl = kVKRCommandStatusMalformedUrl;
constexpr int32_t kIOError = kVKRCommandStatusIOError;
constexpr int32_t kError = kVKRCommandStatusError;
constexpr std::string_view kLocalPrefix = "vkrfile://localhost/assets-library";

}  // namespace

VKRAssetLibraryFilesystem::VKRAssetLibraryFilesystem(std::string name)
    : VKRFileSystem(std::move(name)) {}

std::string VKRAssetLibraryFilesystem::assetLibraryURLForLocalURL(const VKRFilesystemURL& url) {
  if (!url.url()) return "";
  const std::string& text = url.url()->absoluteString();
  if (url.url()->scheme() != "vkrfile") return text;
  return "assets-library:/" +
         (text.size() > kLocalPrefix.size() ? text.substr(kLocalPrefix.size()) : std::string());
}

Dictionary VKRAssetLibraryFilesystem::makeEntryForPath(const std::string& fullPath,
                                                       bool isDirectory) {
  const size_t slash = fullPath.rfind('/');
  const std::string name = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
  return entry(fullPath, name, isDirectory, "assets-library:/" + fullPath);
}

std::optional<Dictionary> VKRAssetLibraryFilesystem::makeEntryForLocalURL(
    const VKRFilesystemURL& url) {
  return makeEntryForPath(url.fullPath().value_or(""), false);
}

VKRPluginResult VKRAssetLibraryFilesystem::entryForLocalURI(const VKRFilesystemURL& url) {
  return VKRPluginResult::resultWithStatus(kOK, *makeEntryForLocalURL(url));
}

VKRPluginResult VKRAssetLibraryFilesystem::getFileForURL(const VKRFilesystemURL&,
                                                         const std::string&, const Dictionary&) {
  return VKRPluginResult::resultWithStatus(kMalformedUrl,
                                           "getFile not supported for assets-library URLs.");
}

VKRPluginResult VKRAssetLibraryFilesystem::getParentForURL(const VKRFilesystemURL&) {
  return vkrFileErrorResult(kIOError, kVKRFileNotReadableError);
}

VKRPluginResult VKRAssetLibraryFilesystem::setMetadataForURL(const VKRFilesystemURL&,
                                                             const Dictionary&) {
  return VKRPluginResult::resultWithStatus(kError);
}

VKRPluginResult VKRAssetLibraryFilesystem::removeFileAtURL(const VKRFilesystemURL&) {
  return vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError);
}

VKRPluginResult VKRAssetLibraryFilesystem::recursiveRemoveFileAtURL(const VKRFilesystemURL&) {
  return VKRPluginResult::resultWithStatus(
      kMalformedUrl, "removeRecursively not supported for assets-library URLs.");
}

VKRPluginResult VKRAssetLibraryFilesystem::readEntriesAtURL(const VKRFilesystemURL&) {
  return VKRPluginResult::resultWithStatus(kMalformedUrl,
                                           "readEntries not supported for assets-library URLs.");
}

VKRPluginResult VKRAssetLibraryFilesystem::truncateFileAtURL(const VKRFilesystemURL&, int64_t) {
  return vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError);
}

VKRPluginResult VKRAssetLibraryFilesystem::writeToFileAtURL(const VKRFilesystemURL&,
                                                            const platform::Bytes&, bool) {
  return vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError);
}

void VKRAssetLibraryFilesystem::copyFileToURL(const VKRFilesystemURL&, const std::string&,
                                              VKRFileSystem&, const VKRFilesystemURL&, bool,
                                              ResultCallback callback) {
  callback(vkrFileErrorResult(kIOError, kVKRFileInvalidModificationError));
}

std::optional<std::string> VKRAssetLibraryFilesystem::filesystemPathForURL(
    const VKRFilesystemURL&) {
  return std::nullopt;
}

void VKRAssetLibraryFilesystem::readFileAtURL(const VKRFilesystemURL& url, int64_t start,
                                              int64_t end, ReadCallback callback) {
  PhotoLibrary::assetForURL(
      assetLibraryURLForLocalURL(url),
      [callback, start, end](std::optional<PhotoAsset> asset) {
        if (!asset) {
          callback(std::nullopt, std::nullopt, kVKRFileNotFoundError);
          return;
        }
        // The range is clamped to the asset: a start outside it reads nothing.
        const auto size = static_cast<int64_t>(asset->size());
        const int64_t from = std::clamp<int64_t>(start, 0, size);
        const int64_t length = end > start ? end - std::max<int64_t>(start, 0) : size;
        platform::Result<platform::Bytes> bytes =
            asset->bytes(static_cast<uint64_t>(from), static_cast<uint64_t>(length));
        if (!bytes) {
          callback(std::nullopt, std::nullopt, kVKRFileNotReadableError);
          return;
        }
        callback(std::move(*bytes), asset->mimeType(), 0);
      },
      [callback](const platform::Error& error) {
        platform::logf("Error: %s", error.description().c_str());
        callback(std::nullopt, std::nullopt, kVKRFileSecurityError);
      });
}

void VKRAssetLibraryFilesystem::getFileMetadataForURL(const VKRFilesystemURL& url,
                                                      ResultCallback callback) {
  const std::string fullPath = url.fullPath().value_or("");
  PhotoLibrary::assetForURL(
      assetLibraryURLForLocalURL(url),
      [callback, fullPath](std::optional<PhotoAsset> asset) {
        if (!asset) {
          callback(vkrFileErrorResult(kIOError, kVKRFileNotFoundError));
          return;
        }
        std::optional<std::string> type =
            VKRLocalFilesystem::getMimeTypeFromPath(asset->filename());
        callback(VKRPluginResult::resultWithStatus(
            kOK, Dictionary{
                     {"size", asset->size()},
                     {"fullPath", fullPath},
                     {"name", asset->filename()},
                     {"type", type ? platform::Value(*type) : platform::Value()},
                     {"lastModifiedDate", asset->date().secondsSince1970 * 1000.0},
                 }));
      },
      [callback](const platform::Error& error) {
        callback(VKRPluginResult::resultWithStatus(kIOError, error.localizedDescription()));
      });
}
