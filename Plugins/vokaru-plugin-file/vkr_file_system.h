#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "Plugins/vokaru-plugin-file/vkr_filesystem_url.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/value.h"

// The codes file operations answer to the page as the message of an error result; the page's
// file API knows them by these numbers.
inline constexpr int32_t kVKRFileNotFoundError = 1;
inline constexpr int32_t kVKRFileSecurityError =
    2;                                            // access to the photo library refused or failed
inline constexpr int32_t kVKRFileAbortError = 3;  // an operation failed part-way
inline constexpr int32_t kVKRFileNotReadableError = 4;
// A malformed URL or name, or one that leads out of its file system.
inline constexpr int32_t kVKRFileEncodingError = 5;
inline constexpr int32_t kVKRFileNoModificationAllowedError = 6;
inline constexpr int32_t kVKRFileSyntaxError = 8;
inline constexpr int32_t kVKRFileInvalidModificationError = 9;
inline constexpr int32_t kVKRFileQuotaExceededError = 10;
inline constexpr int32_t kVKRFileTypeMismatchError = 11;
inline constexpr int32_t kVKRFilePathExistsError = 12;

// An error result whose message is the file error code.
VKRPluginResult vkrFileErrorResult(int32_t status, int32_t code);

// One named file system of the file plugin: a folder of the app (VKRLocalFilesystem) or the photo
// library (VKRAssetLibraryFilesystem). Each operation answers a result for the page: OK with an
// entry or value, or an error carrying a file error code. Operations may be called from any
// thread; callbacks run once, on whatever thread the file system answers on.
class VKRFileSystem {
 public:
  using ResultCallback = std::function<void(VKRPluginResult result)>;
  // The bytes and MIME type, or no bytes and a non-zero error code.
  using ReadCallback = std::function<void(std::optional<platform::Bytes> data,
                                          std::optional<std::string> mimeType, int32_t error)>;
  // Maps a "nativeURL" handed to the page (URL text to URL text).
  using URLTransformer = std::function<std::string(const std::string& url)>;

  virtual ~VKRFileSystem() = default;

  virtual VKRPluginResult entryForLocalURI(const VKRFilesystemURL& url) = 0;
  virtual VKRPluginResult getFileForURL(const VKRFilesystemURL& url,
                                        const std::string& requestedPath,
                                        const platform::Dictionary& options) = 0;
  virtual VKRPluginResult getParentForURL(const VKRFilesystemURL& url) = 0;
  virtual VKRPluginResult setMetadataForURL(const VKRFilesystemURL& url,
                                            const platform::Dictionary& metadata) = 0;
  virtual VKRPluginResult removeFileAtURL(const VKRFilesystemURL& url) = 0;
  virtual VKRPluginResult recursiveRemoveFileAtURL(const VKRFilesystemURL& url) = 0;
  virtual VKRPluginResult readEntriesAtURL(const VKRFilesystemURL& url) = 0;
  virtual VKRPluginResult truncateFileAtURL(const VKRFilesystemURL& url, int64_t atPosition) = 0;
  virtual VKRPluginResult writeToFileAtURL(const VKRFilesystemURL& url, const platform::Bytes& data,
                                           bool append) = 0;
  // Copies (copy true) or moves the source, which `sourceFileSystem` holds, into the destination
  // folder of this file system under the new name.
  virtual void copyFileToURL(const VKRFilesystemURL& destinationURL, const std::string& newName,
                             VKRFileSystem& sourceFileSystem, const VKRFilesystemURL& sourceURL,
                             bool copy, ResultCallback callback) = 0;
  // The bytes from `start` up to `end` (exclusive; negative: the end of the file).
  virtual void readFileAtURL(const VKRFilesystemURL& url, int64_t start, int64_t end,
                             ReadCallback callback) = 0;
  virtual void getFileMetadataForURL(const VKRFilesystemURL& url, ResultCallback callback) = 0;

  // The entry of an existing item; nothing when there is none.
  virtual std::optional<platform::Dictionary> makeEntryForLocalURL(const VKRFilesystemURL& url) = 0;
  virtual platform::Dictionary makeEntryForPath(const std::string& fullPath, bool isDirectory) = 0;

  // The item's path on the device; nothing when it has none there.
  virtual std::optional<std::string> filesystemPathForURL(const VKRFilesystemURL& url) = 0;
  // The URL of a device path inside this file system; nothing for paths outside it (and for file
  // systems that aren't folders).
  virtual std::optional<VKRFilesystemURL> URLforFilesystemPath(std::string_view path) {
    (void)path;
    return std::nullopt;
  }

  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  const URLTransformer& urlTransformer() const { return urlTransformer_; }
  // Set before the file system is shared between threads (the file plugin does at its start).
  void setUrlTransformer(URLTransformer transformer) { urlTransformer_ = std::move(transformer); }

 protected:
  explicit VKRFileSystem(std::string name) : name_(std::move(name)) {}

  // The entry dictionary the page knows: "isFile", "isDirectory", "fullPath" (a directory's ends
  // with "/"), "name", "filesystemName" and "nativeURL" (through the URL transformer; left out
  // when the item has none).
  platform::Dictionary entry(const std::string& fullPath, const std::string& name, bool isDirectory,
                             const std::optional<std::string>& nativeURL) const;

 private:
  std::string name_;
  URLTransformer urlTransformer_;
};
