#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Plugins/vokaru-plugin-file/vkr_file_system.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/foundation/url.h"
#include "platform/storage/app_container.h"

// The plugin behind the page's file API (service "File"). At its start it builds the registry of
// named file systems (app folders and the photo library) and serves "vkrfile:" URLs to the web
// view; each page action names a file by a "vkrfile:" (or "file:") URL and is routed to the file
// system the URL names. Other plugins find it as "File" and use its lookups. Every folder file
// system, "root" included, reaches only the app's container unless config.xml lets the app out
// (vkr_app_container.h). The registry is built on the main thread at start and only read
// afterwards, from any thread.
class VKRFile : public VKRPlugin, public std::enable_shared_from_this<VKRFile> {
 public:
  static constexpr const char* kPersistentLocationPreference = "iospersistentfilelocation";
  static constexpr const char* kExtraFileSystemsPreference = "iosextrafilesystems";

  explicit VKRFile(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine);

  void pluginInitialize() override;

  // The plugin of the last start, through which the "vkrfile:" scheme finds its files; null
  // before a start or once that plugin is gone.
  static std::shared_ptr<VKRFile> instance();

  const std::vector<std::shared_ptr<VKRFileSystem>>& fileSystems() const { return fileSystems_; }
  const std::string& rootDocsPath() const { return rootDocsPath_; }
  const std::string& appLibraryPath() const { return appLibraryPath_; }
  const std::string& appTempPath() const { return appTempPath_; }

  // Adds a file system to the registry, with a URL transformer that applies the command
  // delegate's current one. Start-up only.
  void registerFilesystem(std::shared_ptr<VKRFileSystem> fileSystem);
  // The first registered file system of the name; null when none.
  std::shared_ptr<VKRFileSystem> fileSystemByName(std::string_view name) const;
  std::shared_ptr<VKRFileSystem> filesystemForURL(const VKRFilesystemURL& url) const;
  // A "file://" text as the file system URL of its path (links resolved), anything else parsed
  // as a file system URL; nothing for a "file:" URL no file system holds.
  std::optional<VKRFilesystemURL> fileSystemURLforArg(std::string_view text) const;
  // The URL of a device path in the file system that gives it the shortest full path (the
  // earlier one on a tie); nothing when no file system holds the path.
  std::optional<VKRFilesystemURL> fileSystemURLforLocalPath(std::string_view path) const;
  std::optional<std::string> filesystemPathForURL(const VKRFilesystemURL& url) const;
  // Whether the app's container (when the app is held to it) lets a plugin read or write the
  // device path.
  bool canReadPath(const std::string& path) const;
  bool canWritePath(const std::string& path) const;
  std::optional<platform::Dictionary> makeEntryForPath(const std::string& fullPath,
                                                       std::string_view fileSystemName,
                                                       bool isDirectory) const;
  std::optional<platform::Dictionary> makeEntryForLocalURL(const VKRFilesystemURL& url) const;
  std::optional<platform::Dictionary> makeEntryForURL(const platform::URL& url) const;
  std::optional<platform::Dictionary> getDirectoryEntry(std::string_view path,
                                                        bool isDirectory) const;
  static std::optional<std::string> getMimeTypeFromPath(const std::optional<std::string>& path);
  // Free bytes of the file system holding the path; nothing when they can't be read.
  static std::optional<uint64_t> checkFreeDiskSpace(const std::string& path);
  // The text with its percent escapes decoded and the characters a URL can't hold escaped again;
  // nothing when its escapes are broken.
  static std::optional<std::string> encodePath(std::string_view text);

  // Start steps: the extra file systems the preference names (or all), the roots of those the
  // plugin knows, marking a folder as not for backup, and registering the named ones.
  std::vector<std::string> getExtraFileSystemsPreference() const;
  static platform::Dictionary getAvailableFileSystems();
  static void makeNonSyncable(const std::string& path);
  void registerExtraFileSystems(const std::vector<std::string>& names,
                                const platform::Dictionary& available);

 private:
  // Page actions.
  void requestFileSystem(const VKRInvokedUrlCommand& command);
  void requestAllFileSystems(const VKRInvokedUrlCommand& command);
  void requestAllPaths(const VKRInvokedUrlCommand& command);
  void resolveLocalFileSystemURI(const VKRInvokedUrlCommand& command);
  void getDirectory(const VKRInvokedUrlCommand& command);
  void getFile(const VKRInvokedUrlCommand& command);
  void getParent(const VKRInvokedUrlCommand& command);
  void setMetadata(const VKRInvokedUrlCommand& command);
  void remove(const VKRInvokedUrlCommand& command);
  void removeRecursively(const VKRInvokedUrlCommand& command);
  void copyTo(const VKRInvokedUrlCommand& command);
  void moveTo(const VKRInvokedUrlCommand& command);
  void getFileMetadata(const VKRInvokedUrlCommand& command);
  void readEntries(const VKRInvokedUrlCommand& command);
  void readAsText(const VKRInvokedUrlCommand& command);
  void readAsDataURL(const VKRInvokedUrlCommand& command);
  void readAsArrayBuffer(const VKRInvokedUrlCommand& command);
  void readAsBinaryString(const VKRInvokedUrlCommand& command);
  void truncate(const VKRInvokedUrlCommand& command);
  void write(const VKRInvokedUrlCommand& command);
  void testFileExists(const VKRInvokedUrlCommand& command);
  void testDirectoryExists(const VKRInvokedUrlCommand& command);
  void getFreeDiskSpace(const VKRInvokedUrlCommand& command);
  void getLocalFilesystemPath(const VKRInvokedUrlCommand& command);

  using Responder = std::function<void(const VKRPluginResult& result)>;
  // The file system a URL argument names, with the URL.
  struct Target {
    std::shared_ptr<VKRFileSystem> fileSystem;
    VKRFilesystemURL url;
  };

  void send(const VKRInvokedUrlCommand& command, const VKRPluginResult& result) const;
  // Answers the command later, from any thread; nothing happens once the runtime is gone.
  Responder responder(const VKRInvokedUrlCommand& command) const;
  std::optional<VKRFilesystemURL> urlArgument(const VKRInvokedUrlCommand& command,
                                              size_t index) const;
  // The URL argument's file system; when it names none, the page is answered "not found".
  std::optional<Target> target(const VKRInvokedUrlCommand& command, size_t index) const;
  // Runs the file system's operation on the URL argument and sends its result.
  void route(const VKRInvokedUrlCommand& command,
             const std::function<VKRPluginResult(VKRFileSystem&, const VKRFilesystemURL&)>& op);
  void copyOrMove(const VKRInvokedUrlCommand& command, bool copy);
  void removeItem(const VKRInvokedUrlCommand& command, bool recursively);
  // Reads the range in the background and answers what `answer` makes of the bytes.
  using ReadAnswer = std::function<VKRPluginResult(platform::Bytes data,
                                                   const std::optional<std::string>& mimeType)>;
  void readInBackground(const VKRInvokedUrlCommand& command, Target found, size_t startIndex,
                        ReadAnswer answer);

  std::vector<std::shared_ptr<VKRFileSystem>> fileSystems_;
  std::string rootDocsPath_;
  std::string appLibraryPath_;
  std::string appTempPath_;
  // The app's container, read from the settings at start; null when the app is let out of it.
  std::shared_ptr<const platform::AppContainer> container_;
};
