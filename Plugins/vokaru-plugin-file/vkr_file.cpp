#include "Plugins/vokaru-plugin-file/vkr_file.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "Plugins/vokaru-plugin-file/vkr_asset_library_filesystem.h"
#include "Plugins/vokaru-plugin-file/vkr_filesystem_url_protocol.h"
#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"
#include "VokaruLib/Classes/Public/vkr_app_container.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/foundation/assertion.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/utf8.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"

VKR_REGISTER_PLUGIN(VKRFile);

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::FileManager;
using platform::Value;

namespace {

constexpr int32_t kOK = kVKRCommandStatusOK;
constexpr int32_t kIOError = kVKRCommandStatusIOError;
constexpr int32_t kError = kVKRCommandStatusError;

constexpr const char* kPersistentLocationError =
    "File plugin configuration error: Please set iosPersistentFileLocation in config.xml to one "
    "of \"library\" (for new applications) or \"compatibility\" (for compatibility with previous "
    "versions)";
constexpr const char* kDefaultExtraFileSystems =
    "library,library-nosync,documents,documents-nosync,cache,bundle,root";

platform::Mutex instanceMutex;
std::weak_ptr<VKRFile> recordedInstance VKR_GUARDED_BY(instanceMutex);

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  while (true) {
    const size_t at = text.find(separator);
    parts.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string fileURLText(const fs::path& folder) {
  platform::Result<platform::URL> url = platform::URL::fileURL(folder.string(), true);
  return url.ok() ? url->absoluteString() : std::string();
}

// Each byte becomes the character of the same value (U+0000 to U+00FF).
std::string binaryString(const platform::Bytes& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (uint8_t byte : bytes) {
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::optional<std::string> stringArgument(const VKRInvokedUrlCommand& command, size_t index) {
  const std::string* text = command.argumentAtIndex(index).stringIf();
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

}  // namespace

VKRFile::VKRFile(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine)
    : VKRPlugin(std::move(webViewEngine)) {
  addAction("requestFileSystem", &VKRFile::requestFileSystem);
  addAction("requestAllFileSystems", &VKRFile::requestAllFileSystems);
  addAction("requestAllPaths", &VKRFile::requestAllPaths);
  addAction("resolveLocalFileSystemURI", &VKRFile::resolveLocalFileSystemURI);
  addAction("getDirectory", &VKRFile::getDirectory);
  addAction("getFile", &VKRFile::getFile);
  addAction("getParent", &VKRFile::getParent);
  addAction("setMetadata", &VKRFile::setMetadata);
  addAction("remove", &VKRFile::remove);
  addAction("removeRecursively", &VKRFile::removeRecursively);
  addAction("copyTo", &VKRFile::copyTo);
  addAction("moveTo", &VKRFile::moveTo);
  addAction("getFileMetadata", &VKRFile::getFileMetadata);
  addAction("readEntries", &VKRFile::readEntries);
  addAction("readAsText", &VKRFile::readAsText);
  addAction("readAsDataURL", &VKRFile::readAsDataURL);
  addAction("readAsArrayBuffer", &VKRFile::readAsArrayBuffer);
  addAction("readAsBinaryString", &VKRFile::readAsBinaryString);
  addAction("truncate", &VKRFile::truncate);
  addAction("write", &VKRFile::write);
  addAction("testFileExists", &VKRFile::testFileExists);
  addAction("testDirectoryExists", &VKRFile::testDirectoryExists);
  addAction("getFreeDiskSpace", &VKRFile::getFreeDiskSpace);
  addAction("_getLocalFilesystemPath", &VKRFile::getLocalFilesystemPath);
}

std::shared_ptr<VKRFile> VKRFile::instance() {
  platform::MutexLock lock(instanceMutex);
  return recordedInstance.lock();
}

void VKRFile::pluginInitialize() {
  {
    platform::MutexLock lock(instanceMutex);
    recordedInstance = weak_from_this();
  }
  VKRFilesystemURLProtocol::registerClass();
  fileSystems_.clear();
  fileSystems_.reserve(3);

  appLibraryPath_ = (platform::AppHome::library() / "files").string();
  appTempPath_ = platform::AppHome::temporary().lexically_normal().string();
  while (appTempPath_.size() > 1 && appTempPath_.ends_with('/')) appTempPath_.pop_back();
  rootDocsPath_ = platform::AppHome::documents().string();

  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  const Dictionary settings = delegate ? delegate->settings() : Dictionary();
  std::optional<platform::AppContainer> container = vkrAppContainer(settings);
  container_ =
      container ? std::make_shared<const platform::AppContainer>(std::move(*container)) : nullptr;
  const Value* location = settings.find(kPersistentLocationPreference);
  const std::string persistentLocation =
      vkrLowercase(location && location->isString() ? *location->stringIf() : "compatibility");

  if (platform::Status made = FileManager::createDirectory(appTempPath_); made) {
    registerFilesystem(std::make_shared<VKRLocalFilesystem>("temporary", appTempPath_, container_));
  } else {
    platform::logf("Unable to create temporary directory: %s", made.error().description().c_str());
  }
  if (persistentLocation == "library") {
    if (platform::Status made = FileManager::createDirectory(appLibraryPath_); made) {
      registerFilesystem(
          std::make_shared<VKRLocalFilesystem>("persistent", appLibraryPath_, container_));
    } else {
      platform::logf("Unable to create library directory: %s", made.error().description().c_str());
    }
  } else if (persistentLocation == "compatibility") {
    registerFilesystem(
        std::make_shared<VKRLocalFilesystem>("persistent", rootDocsPath_, container_));
  } else {
    platform::assertionFailure(kPersistentLocationError);
  }
  registerFilesystem(std::make_shared<VKRAssetLibraryFilesystem>("assets-library"));
  registerExtraFileSystems(getExtraFileSystemsPreference(), getAvailableFileSystems());
}

std::vector<std::string> VKRFile::getExtraFileSystemsPreference() const {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  const Dictionary settings = delegate ? delegate->settings() : Dictionary();
  const Value* names = settings.find(kExtraFileSystemsPreference);
  return split(
      vkrLowercase(names && names->isString() ? *names->stringIf() : kDefaultExtraFileSystems),
      ',');
}

Dictionary VKRFile::getAvailableFileSystems() {
  const fs::path library = platform::AppHome::library();
  const fs::path documents = platform::AppHome::documents();
  return Dictionary{
      {"library", library.string()},
      {"library-nosync", (library / "NoCloud").string()},
      {"documents", documents.string()},
      {"documents-nosync", (documents / "NoCloud").string()},
      {"cache", platform::AppHome::caches().string()},
      {"bundle", platform::Bundle::mainBundle()->bundlePath().string()},
      {"root", "/"},
  };
}

void VKRFile::makeNonSyncable(const std::string& path) {
  (void)FileManager::createDirectory(path);
  (void)FileManager::setExcludedFromBackup(path, true);
}

void VKRFile::registerExtraFileSystems(const std::vector<std::string>& names,
                                       const Dictionary& available) {
  for (const char* nonSyncable : {"library-nosync", "documents-nosync"}) {
    const Value* root = available.find(nonSyncable);
    if (root && std::find(names.begin(), names.end(), nonSyncable) != names.end()) {
      makeNonSyncable(root->stringOr(""));
    }
  }
  std::set<std::string, std::less<>> registered;
  for (const std::string& name : names) {
    if (registered.contains(name)) continue;
    const Value* root = available.find(name);
    if (!root || !root->isString()) {
      platform::logf("Unrecognized extra filesystem identifier: %s", name.c_str());
      continue;
    }
    registerFilesystem(std::make_shared<VKRLocalFilesystem>(name, *root->stringIf(), container_));
    registered.insert(name);
  }
}

void VKRFile::registerFilesystem(std::shared_ptr<VKRFileSystem> fileSystem) {
  if (commandDelegate()) {
    fileSystem->setUrlTransformer([weakSelf = weak_from_this()](const std::string& url) {
      std::shared_ptr<VKRFile> self = weakSelf.lock();
      std::shared_ptr<VKRCommandDelegate> delegate = self ? self->commandDelegate() : nullptr;
      VKRCommandDelegate::URLTransformer transformer =
          delegate ? delegate->urlTransformer() : nullptr;
      return transformer ? transformer(url) : url;
    });
  }
  fileSystems_.push_back(std::move(fileSystem));
}

std::shared_ptr<VKRFileSystem> VKRFile::fileSystemByName(std::string_view name) const {
  for (const std::shared_ptr<VKRFileSystem>& fileSystem : fileSystems_) {
    if (fileSystem->name() == name) return fileSystem;
  }
  return nullptr;
}

std::shared_ptr<VKRFileSystem> VKRFile::filesystemForURL(const VKRFilesystemURL& url) const {
  return url.fileSystemName() ? fileSystemByName(*url.fileSystemName()) : nullptr;
}

std::optional<VKRFilesystemURL> VKRFile::fileSystemURLforArg(std::string_view text) const {
  if (!text.starts_with("file://")) return VKRFilesystemURL::fileSystemURLWithString(text);
  platform::Result<platform::URL> url = platform::URL::parse(text);
  std::optional<std::string> path = url.ok() ? url->filePath() : std::nullopt;
  if (!path) return std::nullopt;
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(*path, error);
  return fileSystemURLforLocalPath(error ? *path : resolved.string());
}

std::optional<VKRFilesystemURL> VKRFile::fileSystemURLforLocalPath(std::string_view path) const {
  std::optional<VKRFilesystemURL> best;
  for (const std::shared_ptr<VKRFileSystem>& fileSystem : fileSystems_) {
    std::optional<VKRFilesystemURL> url = fileSystem->URLforFilesystemPath(path);
    if (!url || !url->fullPath()) continue;
    if (!best || url->fullPath()->size() < best->fullPath()->size()) best = std::move(url);
  }
  return best;
}

std::optional<std::string> VKRFile::filesystemPathForURL(const VKRFilesystemURL& url) const {
  std::shared_ptr<VKRFileSystem> fileSystem = filesystemForURL(url);
  return fileSystem ? fileSystem->filesystemPathForURL(url) : std::nullopt;
}

std::optional<Dictionary> VKRFile::makeEntryForPath(const std::string& fullPath,
                                                    std::string_view fileSystemName,
                                                    bool isDirectory) const {
  std::shared_ptr<VKRFileSystem> fileSystem = fileSystemByName(fileSystemName);
  if (!fileSystem) return std::nullopt;
  return fileSystem->makeEntryForPath(fullPath, isDirectory);
}

std::optional<Dictionary> VKRFile::makeEntryForLocalURL(const VKRFilesystemURL& url) const {
  std::shared_ptr<VKRFileSystem> fileSystem = filesystemForURL(url);
  return fileSystem ? fileSystem->makeEntryForLocalURL(url) : std::nullopt;
}

std::optional<Dictionary> VKRFile::makeEntryForURL(const platform::URL& url) const {
  std::optional<VKRFilesystemURL> local = fileSystemURLforArg(url.absoluteString());
  return local ? makeEntryForLocalURL(*local) : std::nullopt;
}

std::optional<Dictionary> VKRFile::getDirectoryEntry(std::string_view path,
                                                     bool isDirectory) const {
  std::optional<VKRFilesystemURL> url = fileSystemURLforLocalPath(path);
  if (!url || !url->fileSystemName()) return std::nullopt;
  return makeEntryForPath(url->fullPath().value_or(""), *url->fileSystemName(), isDirectory);
}

std::optional<std::string> VKRFile::getMimeTypeFromPath(const std::optional<std::string>& path) {
  return VKRLocalFilesystem::getMimeTypeFromPath(path);
}

std::optional<uint64_t> VKRFile::checkFreeDiskSpace(const std::string& path) {
  platform::Result<uint64_t> free = FileManager::freeSpace(path);
  return free.ok() ? std::optional<uint64_t>(*free) : std::nullopt;
}

std::optional<std::string> VKRFile::encodePath(std::string_view text) {
  // The characters a URL may hold unescaped in any of its parts.
  static constexpr platform::CharacterSet kLegalURLCharacters =
      platform::CharacterSet::alphanumerics().adding("!#$&'()*+,-./:;=?@_~");
  std::optional<std::string> decoded = platform::percentDecode(text);
  if (!decoded) return std::nullopt;
  return platform::percentEncode(*decoded, kLegalURLCharacters);
}

// Helpers of the actions.

void VKRFile::send(const VKRInvokedUrlCommand& command, const VKRPluginResult& result) const {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(result, command.callbackId());
  }
}

VKRFile::Responder VKRFile::responder(const VKRInvokedUrlCommand& command) const {
  return [delegate = std::weak_ptr<VKRCommandDelegate>(commandDelegate()),
          callbackId = command.callbackId()](const VKRPluginResult& result) {
    if (std::shared_ptr<VKRCommandDelegate> live = delegate.lock()) {
      live->sendPluginResult(result, callbackId);
    }
  };
}

std::optional<VKRFilesystemURL> VKRFile::urlArgument(const VKRInvokedUrlCommand& command,
                                                     size_t index) const {
  std::optional<std::string> text = stringArgument(command, index);
  return text ? fileSystemURLforArg(*text) : std::nullopt;
}

std::optional<VKRFile::Target> VKRFile::target(const VKRInvokedUrlCommand& command,
                                               size_t index) const {
  std::optional<VKRFilesystemURL> url = urlArgument(command, index);
  std::shared_ptr<VKRFileSystem> fileSystem = url ? filesystemForURL(*url) : nullptr;
  if (!fileSystem) {
    send(command, vkrFileErrorResult(kIOError, kVKRFileNotFoundError));
    return std::nullopt;
  }
  return Target{std::move(fileSystem), std::move(*url)};
}

void VKRFile::route(
    const VKRInvokedUrlCommand& command,
    const std::function<VKRPluginResult(VKRFileSystem&, const VKRFilesystemURL&)>& op) {
  if (std::optional<Target> found = target(command, 0)) {
    send(command, op(*found->fileSystem, found->url));
  }
}

// Actions.

void VKRFile::requestFileSystem(const VKRInvokedUrlCommand& command) {
  const int64_t type = command.argumentAtIndex(0).intOr(0);
  const auto size = static_cast<uint64_t>(command.argumentAtIndex(1).intOr(0));
  if (type < 0 || type >= static_cast<int64_t>(fileSystems_.size())) {
    platform::log("No filesystem of type requested");
    send(command, vkrFileErrorResult(kError, kVKRFileNotFoundError));
    return;
  }
  if (std::optional<uint64_t> free = checkFreeDiskSpace(rootDocsPath_); free && *free < size) {
    send(command, vkrFileErrorResult(kIOError, kVKRFileQuotaExceededError));
    return;
  }
  const std::shared_ptr<VKRFileSystem>& fileSystem = fileSystems_[static_cast<size_t>(type)];
  send(command, VKRPluginResult::resultWithStatus(
                    kOK, Dictionary{{"name", fileSystem->name()},
                                    {"root", fileSystem->makeEntryForPath("/", true)}}));
}

void VKRFile::requestAllFileSystems(const VKRInvokedUrlCommand& command) {
  Value::Array roots;
  for (const std::shared_ptr<VKRFileSystem>& fileSystem : fileSystems_) {
    roots.emplace_back(fileSystem->makeEntryForPath("/", true));
  }
  send(command, VKRPluginResult::resultWithStatus(kOK, std::move(roots)));
}

void VKRFile::requestAllPaths(const VKRInvokedUrlCommand& command) {
  const fs::path library = platform::AppHome::library();
  (void)FileManager::createDirectory(library / "Cloud");
  makeNonSyncable((library / "NoCloud").string());
  send(command, VKRPluginResult::resultWithStatus(
                    kOK, Dictionary{
                             {"applicationDirectory",
                              fileURLText(platform::Bundle::mainBundle()->bundlePath())},
                             {"applicationStorageDirectory", fileURLText(library.parent_path())},
                             {"dataDirectory", fileURLText(library / "NoCloud")},
                             {"syncedDataDirectory", fileURLText(library / "Cloud")},
                             {"documentsDirectory", fileURLText(platform::AppHome::documents())},
                             {"cacheDirectory", fileURLText(platform::AppHome::caches())},
                             {"tempDirectory", fileURLText(platform::AppHome::temporary())},
                         }));
}

void VKRFile::resolveLocalFileSystemURI(const VKRInvokedUrlCommand& command) {
  std::optional<std::string> text = stringArgument(command, 0);
  std::optional<std::string> encoded = text ? encodePath(*text) : std::nullopt;
  std::optional<VKRFilesystemURL> url = encoded ? fileSystemURLforArg(*encoded) : std::nullopt;
  std::shared_ptr<VKRFileSystem> fileSystem = url ? filesystemForURL(*url) : nullptr;
  if (!fileSystem) {
    send(command, vkrFileErrorResult(kError, kVKRFileEncodingError));
    return;
  }
  send(command, fileSystem->entryForLocalURI(*url));
}

void VKRFile::getDirectory(const VKRInvokedUrlCommand& command) {
  Value::Array arguments = command.arguments();
  if (arguments.size() < 3) arguments.resize(3);
  const Dictionary* given = arguments[2].dictionaryIf();
  Dictionary options = given ? *given : Dictionary();
  options.set("getDir", 1);
  arguments[2] = std::move(options);
  getFile(VKRInvokedUrlCommand(std::move(arguments), command.callbackId(), command.className(),
                               command.methodName()));
}

void VKRFile::getFile(const VKRInvokedUrlCommand& command) {
  std::optional<std::string> path = stringArgument(command, 1);
  const Dictionary* options = command.argumentAtIndex(2).dictionaryIf();
  route(command, [&](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    if (!path) return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
    return fileSystem.getFileForURL(url, *path, options ? *options : Dictionary());
  });
}

void VKRFile::getParent(const VKRInvokedUrlCommand& command) {
  route(command, [](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    return fileSystem.getParentForURL(url);
  });
}

void VKRFile::setMetadata(const VKRInvokedUrlCommand& command) {
  const Dictionary* metadata = command.argumentAtIndex(1).dictionaryIf();
  route(command, [&](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    return fileSystem.setMetadataForURL(url, metadata ? *metadata : Dictionary());
  });
}

void VKRFile::remove(const VKRInvokedUrlCommand& command) { removeItem(command, false); }

void VKRFile::removeRecursively(const VKRInvokedUrlCommand& command) { removeItem(command, true); }

void VKRFile::removeItem(const VKRInvokedUrlCommand& command, bool recursively) {
  // A file system itself is never removed.
  std::optional<VKRFilesystemURL> url = urlArgument(command, 0);
  if (url && url->fullPath() == "") {
    send(command, vkrFileErrorResult(kIOError, kVKRFileNoModificationAllowedError));
    return;
  }
  route(command, [recursively](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    return recursively ? fileSystem.recursiveRemoveFileAtURL(url) : fileSystem.removeFileAtURL(url);
  });
}

void VKRFile::copyTo(const VKRInvokedUrlCommand& command) { copyOrMove(command, true); }

void VKRFile::moveTo(const VKRInvokedUrlCommand& command) { copyOrMove(command, false); }

void VKRFile::copyOrMove(const VKRInvokedUrlCommand& command, bool copy) {
  std::optional<std::string> source = stringArgument(command, 0);
  std::optional<std::string> destination = stringArgument(command, 1);
  if (!source || !destination) {
    send(command, vkrFileErrorResult(kIOError, kVKRFileNotFoundError));
    return;
  }
  std::optional<std::string> newName = stringArgument(command, 2);
  if (!newName) {
    platform::Result<platform::URL> sourceURL = platform::URL::parse(*source);
    newName = sourceURL.ok() ? sourceURL->lastPathComponent() : std::string();
  }
  if (newName->find(':') != std::string::npos) {
    send(command, vkrFileErrorResult(kIOError, kVKRFileEncodingError));
    return;
  }
  std::optional<VKRFilesystemURL> sourceURL = fileSystemURLforArg(*source);
  std::optional<VKRFilesystemURL> destinationURL = fileSystemURLforArg(*destination);
  std::shared_ptr<VKRFileSystem> sourceFileSystem =
      sourceURL ? filesystemForURL(*sourceURL) : nullptr;
  std::shared_ptr<VKRFileSystem> destinationFileSystem =
      destinationURL ? filesystemForURL(*destinationURL) : nullptr;
  if (!sourceFileSystem || !destinationFileSystem) {
    send(command, vkrFileErrorResult(kIOError, kVKRFileNotFoundError));
    return;
  }
  // The source's file system may answer on its own thread; it is kept alive until then.
  Responder respond = responder(command);
  destinationFileSystem->copyFileToURL(
      *destinationURL, *newName, *sourceFileSystem, *sourceURL, copy,
      [respond, sourceFileSystem](VKRPluginResult result) { respond(result); });
}

void VKRFile::getFileMetadata(const VKRInvokedUrlCommand& command) {
  if (std::optional<Target> found = target(command, 0)) {
    Responder respond = responder(command);
    found->fileSystem->getFileMetadataForURL(
        found->url, [respond](VKRPluginResult result) { respond(result); });
  }
}

void VKRFile::readEntries(const VKRInvokedUrlCommand& command) {
  route(command, [](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    return fileSystem.readEntriesAtURL(url);
  });
}

void VKRFile::readInBackground(const VKRInvokedUrlCommand& command, Target found, size_t startIndex,
                               ReadAnswer answer) {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  const int64_t start = command.argumentAtIndex(startIndex).intOr(0);
  const int64_t end = command.argumentAtIndex(startIndex + 1).intOr(-1);
  delegate->runInBackground([found = std::move(found), start, end, respond = responder(command),
                             answer = std::move(answer)] {
    found.fileSystem->readFileAtURL(
        found.url, start, end,
        [respond, answer](std::optional<platform::Bytes> data, std::optional<std::string> mimeType,
                          int32_t error) {
          respond(data ? answer(std::move(*data), mimeType) : vkrFileErrorResult(kIOError, error));
        });
  });
}

void VKRFile::readAsText(const VKRInvokedUrlCommand& command) {
  std::optional<Target> found = target(command, 0);
  if (!found) return;
  // An absent encoding is the page API's default, UTF-8.
  if (vkrLowercase(stringArgument(command, 1).value_or("UTF-8")) != "utf-8") {
    platform::log("Only UTF-8 encodings are currently supported by readAsText");
    send(command, vkrFileErrorResult(kIOError, kVKRFileEncodingError));
    return;
  }
  readInBackground(
      command, std::move(*found), 2, [](platform::Bytes data, const std::optional<std::string>&) {
        std::string text = platform::stringOf(data);
        if (!platform::isValidUTF8(text)) {
          return vkrFileErrorResult(kIOError, kVKRFileEncodingError);
        }
        VKRPluginResult result = VKRPluginResult::resultWithStatus(kOK, std::move(text));
        result.setAssociatedObject(std::move(data));
        return result;
      });
}

void VKRFile::readAsDataURL(const VKRInvokedUrlCommand& command) {
  if (std::optional<Target> found = target(command, 0)) {
    readInBackground(
        command, std::move(*found), 1,
        [](platform::Bytes data, const std::optional<std::string>& mimeType) {
          return VKRPluginResult::resultWithStatus(
              kOK, "data:" + mimeType.value_or("") + ";base64," + platform::base64Encode(data));
        });
  }
}

void VKRFile::readAsArrayBuffer(const VKRInvokedUrlCommand& command) {
  if (std::optional<Target> found = target(command, 0)) {
    readInBackground(command, std::move(*found), 1,
                     [](platform::Bytes data, const std::optional<std::string>&) {
                       return VKRPluginResult::resultWithStatus(kOK, data);
                     });
  }
}

void VKRFile::readAsBinaryString(const VKRInvokedUrlCommand& command) {
  if (std::optional<Target> found = target(command, 0)) {
    readInBackground(
        command, std::move(*found), 1, [](platform::Bytes data, const std::optional<std::string>&) {
          VKRPluginResult result = VKRPluginResult::resultWithStatus(kOK, binaryString(data));
          result.setAssociatedObject(std::move(data));
          return result;
        });
  }
}

void VKRFile::truncate(const VKRInvokedUrlCommand& command) {
  const int64_t size = command.argumentAtIndex(1).intOr(0);
  route(command, [size](VKRFileSystem& fileSystem, const VKRFilesystemURL& url) {
    return fileSystem.truncateFileAtURL(url, size);
  });
}

void VKRFile::write(const VKRInvokedUrlCommand& command) {
  std::optional<Target> found = target(command, 0);
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!found || !delegate) return;
  // The data is checked before anything of the file is cut away.
  const Value& given = command.argumentAtIndex(1);
  platform::Bytes data;
  if (const std::string* text = given.stringIf()) {
    data = platform::bytesOf(*text);
  } else if (const platform::Bytes* bytes = given.dataIf()) {
    data = *bytes;
  } else {
    send(command, VKRPluginResult::resultWithStatus(kError, "Invalid parameter type"));
    return;
  }
  const int64_t position = command.argumentAtIndex(2).intOr(0);
  delegate->runInBackground(
      [found = std::move(*found), data = std::move(data), position, respond = responder(command)] {
        // The write replaces the file's content from the position on. A file that can't be opened
        // (not there yet, a directory, read-only) is left to the write, which answers for itself;
        // a file that opened but couldn't be cut must not be appended to.
        VKRPluginResult truncated = found.fileSystem->truncateFileAtURL(found.url, position);
        const bool unopened = truncated.status() == kIOError &&
                              (truncated.message() == Value(kVKRFileNotFoundError) ||
                               truncated.message() == Value(kVKRFileNoModificationAllowedError));
        if (truncated.status() != kOK && !unopened) {
          respond(truncated);
          return;
        }
        respond(found.fileSystem->writeToFileAtURL(found.url, data, true));
      });
}

bool VKRFile::canReadPath(const std::string& path) const {
  return !container_ || container_->canRead(path);
}

bool VKRFile::canWritePath(const std::string& path) const {
  return !container_ || container_->canWrite(path);
}

void VKRFile::testFileExists(const VKRInvokedUrlCommand& command) {
  std::optional<std::string> path = stringArgument(command, 0);
  const bool exists = path && canReadPath(*path) && FileManager::fileExists(*path);
  send(command, VKRPluginResult::resultWithStatus(kOK, int32_t{exists ? 1 : 0}));
}

void VKRFile::testDirectoryExists(const VKRInvokedUrlCommand& command) {
  std::optional<std::string> path = stringArgument(command, 0);
  bool isDirectory = false;
  const bool exists =
      path && canReadPath(*path) && FileManager::fileExists(*path, &isDirectory) && isDirectory;
  send(command, VKRPluginResult::resultWithStatus(kOK, int32_t{exists ? 1 : 0}));
}

void VKRFile::getFreeDiskSpace(const VKRInvokedUrlCommand& command) {
  const uint64_t free = checkFreeDiskSpace(rootDocsPath_).value_or(0);
  send(command, VKRPluginResult::resultWithStatus(kOK, std::to_string(free)));
}

void VKRFile::getLocalFilesystemPath(const VKRInvokedUrlCommand& command) {
  std::optional<VKRFilesystemURL> url = urlArgument(command, 0);
  std::optional<std::string> path = url ? filesystemPathForURL(*url) : std::nullopt;
  if (!path) {
    send(command, VKRPluginResult::resultWithStatus(kError, "Cannot resolve URL to a file"));
    return;
  }
  send(command, VKRPluginResult::resultWithStatus(kOK, std::move(*path)));
}
