#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Plugins/vokaru-plugin-file/vkr_file_system.h"
#include "platform/storage/app_container.h"

// A file system over one folder of the device. Every full path is normalised and must stay
// inside the folder: a URL, path or name that would lead out of it is refused with
// kVKRFileEncodingError, and the folder itself can't be removed or moved away. Given the app's
// container, it also reaches only what lies inside that, as the device resolves the path (links
// followed): an item outside is refused with kVKRFileSecurityError, a change to the read-only
// bundle with kVKRFileNoModificationAllowedError. Holds no state that changes after it is made;
// operations run and answer on the caller's thread.
class VKRLocalFilesystem : public VKRFileSystem {
 public:
  // Without a container, every file the user can reach is reachable.
  VKRLocalFilesystem(std::string name, std::string root,
                     std::shared_ptr<const platform::AppContainer> container = nullptr);

  // The folder's device path, without a trailing "/" except for "/" itself.
  const std::string& fsRoot() const { return fsRoot_; }

  // The text before the first "?".
  static std::string stripQueryParametersFromPath(std::string_view path);
  // ".." removes the nearest component before it that isn't ".", and nothing when there is
  // none; "." components stay, empty ones go: "/a/b/../c" is "/a/c", "/a/../../b" is "/b",
  // "a/b/../../c" is "c", "/a/./b" stays.
  static std::string normalizePath(std::string_view path);

  // The device path of a full path (its query ignored): the root followed by the normalised
  // path. Nothing when the path would climb above the root or holds a NUL byte.
  std::optional<std::string> filesystemPathForFullPath(std::string_view fullPath) const;
  // The device path, for other plugins to read or write; nothing outside the container.
  std::optional<std::string> filesystemPathForURL(const VKRFilesystemURL& url) override;
  // The full path of a device path inside the root (the root's own path gives ""); nothing for
  // paths outside it. The root claims a path only up to a "/": "<root>2/x" is outside. A root
  // reached through a link claims the paths under its resolved folder too.
  std::optional<std::string> fullPathForFileSystemPath(std::string_view path) const;
  // "vkrfile://localhost/<name>/<escaped full path>"; nothing for nothing.
  std::optional<VKRFilesystemURL> URLforFullPath(const std::optional<std::string>& fullPath) const;
  std::optional<VKRFilesystemURL> URLforFilesystemPath(std::string_view path) override;

  // Whether a copy or move of the folder at `source` to `destination` keeps it out of itself:
  // false exactly for the source itself and paths inside it.
  static bool canCopyMoveSrc(std::string_view source, std::string_view destination);
  // The MIME type of the path's extension; nothing when it has none or no type is known.
  static std::optional<std::string> getMimeTypeFromPath(const std::optional<std::string>& path);

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

 private:
  // A URL's item: its normalised full path (query kept) and device path.
  struct Item {
    std::string fullPath;
    std::string path;
  };
  std::optional<Item> itemForURL(const VKRFilesystemURL& url) const;
  std::optional<Item> itemForFullPath(std::string_view fullPath) const;
  bool isRoot(const std::string& path) const;
  // The file error code that keeps the device path out of reach, for reading (or also writing);
  // 0 when it is within reach.
  int32_t refusal(const std::string& path, bool writing) const;
  VKRPluginResult doRemove(const std::string& path);
  VKRPluginResult copyOrMove(const std::string& newPath, const std::string& newFullPath,
                             const std::string& sourcePath, bool copy);

  std::string fsRoot_;
  std::string resolvedRoot_;
  std::shared_ptr<const platform::AppContainer> container_;
};
