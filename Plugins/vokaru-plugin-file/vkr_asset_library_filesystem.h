#pragma once

#include <string>

#include "Plugins/vokaru-plugin-file/vkr_file_system.h"
#include "platform/foundation/url.h"

// The read-only file system over the photo library: its items are assets, named by
// "assets-library://asset/..." URLs or the same after "vkrfile://localhost/assets-library". Reads
// and metadata answer from the library's thread; every change or listing is refused.
class VKRAssetLibraryFilesystem : public VKRFileSystem {
 public:
  explicit VKRAssetLibraryFilesystem(std::string name);

  // The "assets-library:" URL text of an asset URL of either form.
  static std::string assetLibraryURLForLocalURL(const VKRFilesystemURL& url);

  VKRPluginResult entryForLocalURI(const VKRFilesystemURL& url) override;
  VKRPluginResult getFileForURL(const VKRFilesystemURL& url, const std::string& requestedPath,
                                const platform::Dictionary& options) override;
  VKRPluginResult getParentForURL(const VKRFilesystemURL& url) override;
  VKRPluginResult setMetadataForURL(const VKRFilesystemURL& url,
                                    const platform::Dictionary& metadata) override;
  VKRPluginResult removeFileAtURL(const VKRFilesystemURL& url) override;
  VKRPluginResult recursiveRemoveFileAtURL(const VKRFilesystemURL& url) override;
  VKRPluginResult readEntriesAtURL(const VKRFilesystemURL& url) override;
  VKRPluginResult truncateFileAtURL(const VKRFilesystemURL& url, int64_t atPosition) override;
  VKRPluginResult writeToFileAtURL(const VKRFilesystemURL& url, const platform::Bytes& data,
                                   bool append) override;
  void copyFileToURL(const VKRFilesystemURL& destinationURL, const std::string& newName,
                     VKRFileSystem& sourceFileSystem, const VKRFilesystemURL& sourceURL, bool copy,
                     ResultCallback callback) override;
  void readFileAtURL(const VKRFilesystemURL& url, int64_t start, int64_t end,
                     ReadCallback callback) override;
  void getFileMetadataForURL(const VKRFilesystemURL& url, ResultCallback callback) override;
  std::optional<platform::Dictionary> makeEntryForLocalURL(const VKRFilesystemURL& url) override;
  platform::Dictionary makeEntryForPath(const std::string& fullPath, bool isDirectory) override;
  // Assets are not files of the device (a page could otherwise write through a device path).
  std::optional<std::string> filesystemPathForURL(const VKRFilesystemURL& url) override;
};
