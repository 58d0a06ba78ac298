#include "Plugins/vokaru-plugin-file/vkr_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"
#include "VokaruLib/Classes/Public/vkr_app_container.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/foundation/base64.h"
#include "platform/media/photo_library.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/assertion_capture.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::FileManager;
using platform::Value;
using platform::testing::readFile;
using platform::testing::writeFile;
using vokaru::testing::RecordingCommandDelegate;

std::vector<std::string> namesOf(const VKRFile& plugin) {
  std::vector<std::string> names;
  for (const auto& fileSystem : plugin.fileSystems()) names.push_back(fileSystem->name());
  return names;
}

std::string rootOf(const VKRFile& plugin, std::string_view name) {
  auto local = std::dynamic_pointer_cast<VKRLocalFilesystem>(plugin.fileSystemByName(name));
  return local ? local->fsRoot() : "(none)";
}

class VKRFileTest : public ::testing::Test {
 protected:
  void SetUp() override { start({}); }

  // A fresh plugin started with the given preferences.
  void start(Dictionary settings) {
    delegate_ = std::make_shared<RecordingCommandDelegate>();
    delegate_->setSettings(std::move(settings));
    plugin_ = std::make_shared<VKRFile>(nullptr);
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }

  // Runs the action and answers the one result it sent.
  VKRPluginResult run(const std::string& action, Value::Array arguments) {
    const size_t before = delegate_->sent().size();
    const std::string id = "File" + std::to_string(++commands_);
    EXPECT_TRUE(plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), id, "File", action)));
    EXPECT_TRUE(delegate_->waitForResults(before + 1)) << action;
    std::vector<RecordingCommandDelegate::Sent> sent = delegate_->sent();
    if (sent.size() != before + 1) {
      ADD_FAILURE() << action << " sent " << sent.size() - before << " results";
      return VKRPluginResult();
    }
    EXPECT_EQ(sent.back().callbackId, id);
    lastOnMainThread_ = sent.back().onMainThread;
    return sent.back().result;
  }

  static std::string persistentURL(std::string_view path) {
    return "vkrfile://localhost/persistent" + std::string(path);
  }
  fs::path documents() const { return app_.appHome() / "Documents"; }

  platform::testing::TestApp app_;
  std::shared_ptr<RecordingCommandDelegate> delegate_;
  std::shared_ptr<VKRFile> plugin_;
  int commands_ = 0;
  bool lastOnMainThread_ = false;
};

TEST_F(VKRFileTest, DefaultRegistryInOrderWithItsRoots) {
  EXPECT_EQ(namesOf(*plugin_),
            (std::vector<std::string>{"temporary", "persistent", "assets-library", "library",
                                      "library-nosync", "documents", "documents-nosync", "cache",
                                      "bundle", "root"}));
  const fs::path home = app_.appHome();
  const std::pair<const char*, fs::path> roots[] = {
      {"temporary", home / "tmp"},
      {"persistent", home / "Documents"},
      {"library", home / "Library"},
      {"library-nosync", home / "Library/NoCloud"},
      {"documents", home / "Documents"},
      {"documents-nosync", home / "Documents/NoCloud"},
      {"cache", home / "Library/Caches"},
      {"bundle", app_.bundlePath()},
      {"root", "/"},
  };
  for (const auto& [name, root] : roots) EXPECT_EQ(rootOf(*plugin_, name), root.string()) << name;
  for (const char* noSync : {"Library/NoCloud", "Documents/NoCloud"}) {
    EXPECT_TRUE(fs::is_directory(home / noSync));
    platform::Result<bool> excluded = FileManager::isExcludedFromBackup(home / noSync);
    EXPECT_TRUE(!excluded.ok() || *excluded) << noSync;
  }
  EXPECT_EQ(plugin_->appTempPath(), (home / "tmp").string());
  EXPECT_EQ(plugin_->appLibraryPath(), (home / "Library/files").string());
  EXPECT_EQ(plugin_->rootDocsPath(), (home / "Documents").string());
  EXPECT_EQ(VKRFile::instance(), plugin_);
}

TEST_F(VKRFileTest, PreferencesChooseThePersistentFolderAndTheExtraFileSystems) {
  platform::testing::LogCapture log;
  start({{VKRFile::kPersistentLocationPreference, "Library"},
         {VKRFile::kExtraFileSystemsPreference, "cache,cache,foo"}});
  EXPECT_EQ(namesOf(*plugin_),
            (std::vector<std::string>{"temporary", "persistent", "assets-library", "cache"}));
  EXPECT_EQ(rootOf(*plugin_, "persistent"), (app_.appHome() / "Library/files").string());
  EXPECT_TRUE(fs::is_directory(app_.appHome() / "Library/files"));
  EXPECT_TRUE(log.contains("Unrecognized extra filesystem identifier: foo"));
}

TEST_F(VKRFileTest, AnUnknownPersistentLocationIsAConfigurationError) {
  platform::testing::AssertionCapture assertions;
  start({{VKRFile::kPersistentLocationPreference, "elsewhere"},
         {VKRFile::kExtraFileSystemsPreference, "documents"}});
  EXPECT_EQ(assertions.messages(),
            (std::vector<std::string>{
                "File plugin configuration error: Please set iosPersistentFileLocation in "
                "config.xml to one of \"library\" (for new applications) or \"compatibility\" "
                "(for compatibility with previous versions)"}));
  EXPECT_EQ(namesOf(*plugin_),
            (std::vector<std::string>{"temporary", "assets-library", "documents"}));
}

TEST_F(VKRFileTest, NativeURLsGoThroughTheDelegatesCurrentTransformer) {
  writeFile(documents() / "a.txt", "x");
  const std::string plain = run("resolveLocalFileSystemURI", {persistentURL("/a.txt")})
                                .message()["nativeURL"]
                                .stringOr("");
  EXPECT_EQ(plain, "file://" + (documents() / "a.txt").string());
  delegate_->setUrlTransformer([](const std::string& url) { return "mapped:" + url; });
  EXPECT_EQ(run("resolveLocalFileSystemURI", {persistentURL("/a.txt")}).message()["nativeURL"],
            Value("mapped:" + plain));
}

TEST_F(VKRFileTest, RequestFileSystem) {
  platform::testing::LogCapture log;
  const int64_t count = static_cast<int64_t>(plugin_->fileSystems().size());
  for (int64_t type : {int64_t{-1}, count}) {
    VKRPluginResult result = run("requestFileSystem", {type, 0});
    EXPECT_EQ(result.status(), kVKRCommandStatusError) << type;
    EXPECT_EQ(result.message(), Value(kVKRFileNotFoundError)) << type;
  }
  EXPECT_TRUE(log.contains("No filesystem of type requested"));
  VKRPluginResult tooBig = run("requestFileSystem", {1, INT64_MAX});
  EXPECT_EQ(tooBig.status(), kVKRCommandStatusIOError);
  EXPECT_EQ(tooBig.message(), Value(kVKRFileQuotaExceededError));

  VKRPluginResult persistent = run("requestFileSystem", {1, 0});
  ASSERT_EQ(persistent.status(), kVKRCommandStatusOK);
  EXPECT_EQ(persistent.message()["name"], Value("persistent"));
  EXPECT_EQ(persistent.message()["root"]["fullPath"], Value("/"));
  EXPECT_EQ(persistent.message()["root"]["isDirectory"], Value(true));
  EXPECT_EQ(persistent.message()["root"]["filesystemName"], Value("persistent"));
  EXPECT_EQ(run("requestFileSystem", {0, 1024}).message()["name"], Value("temporary"));
}

TEST_F(VKRFileTest, RequestAllFileSystemsAndPaths) {
  VKRPluginResult all = run("requestAllFileSystems", {});
  ASSERT_EQ(all.message().size(), plugin_->fileSystems().size());
  EXPECT_EQ(all.message().at(2)["filesystemName"], Value("assets-library"));
  EXPECT_EQ(all.message().at(9)["nativeURL"], Value("file:///"));

  VKRPluginResult paths = run("requestAllPaths", {});
  ASSERT_EQ(paths.status(), kVKRCommandStatusOK);
  const fs::path home = app_.appHome();
  const std::pair<const char*, fs::path> folders[] = {
      {"applicationDirectory", app_.bundlePath()},
      {"applicationStorageDirectory", home},
      {"dataDirectory", home / "Library/NoCloud"},
      {"syncedDataDirectory", home / "Library/Cloud"},
      {"documentsDirectory", home / "Documents"},
      {"cacheDirectory", home / "Library/Caches"},
      {"tempDirectory", home / "tmp"},
  };
  EXPECT_EQ(paths.message().size(), std::size(folders));
  for (const auto& [key, folder] : folders) {
    EXPECT_EQ(paths.message()[key], Value("file://" + folder.string() + "/")) << key;
    EXPECT_TRUE(fs::is_directory(folder)) << key;
  }
}

TEST_F(VKRFileTest, ResolveLocalFileSystemURI) {
  writeFile(documents() / "a b.txt", "x");
  struct Case {
    std::string url;
    int32_t status;
    Value message;  // the error code, or the entry's full path
  };
  const Case cases[] = {
      {persistentURL("/a b.txt"), kVKRCommandStatusOK, "/a b.txt"},
      {persistentURL("/a%20b.txt"), kVKRCommandStatusOK, "/a b.txt"},
      {"file://" + (documents() / "a b.txt").string(), kVKRCommandStatusOK, "/a b.txt"},
      {persistentURL("/missing"), kVKRCommandStatusIOError, kVKRFileNotFoundError},
      {persistentURL("/%2E%2E/%2E%2E/etc/passwd"), kVKRCommandStatusIOError, kVKRFileEncodingError},
      {"vkrfile://localhost/nothing/a", kVKRCommandStatusError, kVKRFileEncodingError},
      {"vkrfile://localhost", kVKRCommandStatusError, kVKRFileEncodingError},
      {"vkrfile://localhost/persistent/%zz", kVKRCommandStatusError, kVKRFileEncodingError},
      {"http://example.test/a", kVKRCommandStatusError, kVKRFileEncodingError},
  };
  for (const Case& c : cases) {
    VKRPluginResult result = run("resolveLocalFileSystemURI", {c.url});
    EXPECT_EQ(result.status(), c.status) << c.url;
    EXPECT_EQ(c.status == kVKRCommandStatusOK ? result.message()["fullPath"] : result.message(),
              c.message)
        << c.url;
  }
  EXPECT_EQ(run("resolveLocalFileSystemURI", {42}).message(), Value(kVKRFileEncodingError));

  // Without the device root, a file URL outside every folder names no file system.
  start({{VKRFile::kExtraFileSystemsPreference, "documents"}});
  EXPECT_EQ(run("resolveLocalFileSystemURI", {"file:///etc/passwd"}).message(),
            Value(kVKRFileEncodingError));
}

TEST_F(VKRFileTest, LookupsOtherPluginsUse) {
  const fs::path home = app_.appHome();
  writeFile(home / "Library/NoCloud/x.wav", "x");
  std::optional<VKRFilesystemURL> noSync =
      plugin_->fileSystemURLforLocalPath((home / "Library/NoCloud/x.wav").string());
  ASSERT_TRUE(noSync);
  EXPECT_EQ(noSync->absoluteURL(), "vkrfile://localhost/library-nosync/x.wav");
  std::optional<VKRFilesystemURL> inDocuments =
      plugin_->fileSystemURLforLocalPath((documents() / "a.txt").string());
  ASSERT_TRUE(inDocuments);
  EXPECT_EQ(inDocuments->fileSystemName(), "persistent") << "the earlier of two equal answers";
  std::optional<VKRFilesystemURL> sibling =
      plugin_->fileSystemURLforLocalPath(home.string() + "/Documents2/a.txt");
  ASSERT_TRUE(sibling);
  EXPECT_EQ(sibling->fileSystemName(), "root") << "a root claims paths only below a \"/\"";

  EXPECT_EQ(plugin_->filesystemPathForURL(
                VKRFilesystemURL::fileSystemURLWithString(persistentURL("/a/b.mp3"))),
            (documents() / "a/b.mp3").string());
  EXPECT_EQ(plugin_->filesystemPathForURL(
                VKRFilesystemURL::fileSystemURLWithString(persistentURL("/../../etc/passwd"))),
            std::nullopt);
  EXPECT_EQ(plugin_->filesystemPathForURL(
                VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/nothing/a")),
            std::nullopt);
  EXPECT_EQ(VKRFile::getMimeTypeFromPath("/x/photo_001.jpg"), "image/jpeg");

  writeFile(documents() / "download.bin", "x");
  platform::Result<platform::URL> fileURL =
      platform::URL::fileURL((documents() / "download.bin").string());
  std::optional<Dictionary> entry = plugin_->makeEntryForURL(*fileURL);
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry->find("fullPath"), Value("/download.bin"));
  EXPECT_EQ(*entry->find("filesystemName"), Value("persistent"));
  std::optional<Dictionary> folder =
      plugin_->getDirectoryEntry((home / "Library/Caches").string(), true);
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder->find("filesystemName"), Value("cache"));
  EXPECT_EQ(*folder->find("fullPath"), Value("/"));
}

TEST_F(VKRFileTest, GetFileAndGetDirectory) {
  VKRPluginResult made =
      run("getDirectory", {persistentURL("/"), "photos", Dictionary{{"create", true}}});
  ASSERT_EQ(made.status(), kVKRCommandStatusOK);
  EXPECT_EQ(made.message()["fullPath"], Value("/photos/"));
  EXPECT_TRUE(fs::is_directory(documents() / "photos"));
  // Options may be null or left out.
  EXPECT_EQ(run("getDirectory", {persistentURL("/"), "photos", nullptr}).status(),
            kVKRCommandStatusOK);
  EXPECT_EQ(run("getDirectory", {persistentURL("/"), "photos"}).status(), kVKRCommandStatusOK);
  EXPECT_EQ(run("getFile", {persistentURL("/"), "photos"}).message(),
            Value(kVKRFileTypeMismatchError));

  VKRPluginResult file =
      run("getFile", {persistentURL("/photos"), "a.jpg", Dictionary{{"create", 1}}});
  ASSERT_EQ(file.status(), kVKRCommandStatusOK);
  EXPECT_EQ(file.message()["name"], Value("a.jpg"));
  EXPECT_TRUE(fs::exists(documents() / "photos/a.jpg"));
  EXPECT_EQ(run("getFile", {persistentURL("/photos"), nullptr}).message(),
            Value(kVKRFileEncodingError));
  EXPECT_EQ(run("getParent", {persistentURL("/photos/a.jpg")}).message()["fullPath"],
            Value("/photos/"));
}

TEST_F(VKRFileTest, RemoveNeverTakesAFileSystemsRoot) {
  writeFile(documents() / "keep.txt", "keep");
  writeFile(documents() / "dir/x.txt", "x");
  for (const char* action : {"remove", "removeRecursively"}) {
    for (const char* url : {"vkrfile://localhost/persistent/", "vkrfile://localhost/persistent",
                            "vkrfile://localhost/persistent/dir/.."}) {
      VKRPluginResult result = run(action, {url});
      EXPECT_EQ(result.status(), kVKRCommandStatusIOError) << action << " " << url;
      EXPECT_EQ(result.message(), Value(kVKRFileNoModificationAllowedError))
          << action << " " << url;
    }
  }
  EXPECT_EQ(readFile(documents() / "keep.txt"), "keep");
  EXPECT_EQ(run("remove", {persistentURL("/dir")}).message(),
            Value(kVKRFileInvalidModificationError));
  EXPECT_EQ(run("removeRecursively", {persistentURL("/dir")}).status(), kVKRCommandStatusOK);
  EXPECT_FALSE(fs::exists(documents() / "dir"));
}

TEST_F(VKRFileTest, CopyToAndMoveTo) {
  writeFile(documents() / "a.txt", "a");
  ASSERT_TRUE(FileManager::createDirectory(documents() / "dir"));
  struct Case {
    const char* action;
    Value::Array arguments;
    int32_t status;
    Value message;  // the error code, or the new entry's full path
  };
  const Case cases[] = {
      {"copyTo",
       {persistentURL("/a.txt"), persistentURL("/dir")},
       kVKRCommandStatusOK,
       "/dir/a.txt"},
      {"copyTo",
       {persistentURL("/a.txt"), persistentURL("/dir"), nullptr},
       kVKRCommandStatusIOError,
       kVKRFilePathExistsError},
      {"copyTo",
       {persistentURL("/a.txt"), persistentURL("/dir"), "c:d"},
       kVKRCommandStatusIOError,
       kVKRFileEncodingError},
      {"copyTo",
       {persistentURL("/a.txt"), persistentURL("/dir"), "../../../x"},
       kVKRCommandStatusIOError,
       kVKRFileEncodingError},
      {"moveTo",
       {persistentURL("/a.txt"), persistentURL("/dir"), "sub/x"},
       kVKRCommandStatusIOError,
       kVKRFileEncodingError},
      {"copyTo", {persistentURL("/a.txt")}, kVKRCommandStatusIOError, kVKRFileNotFoundError},
      {"moveTo", {nullptr, persistentURL("/dir")}, kVKRCommandStatusIOError, kVKRFileNotFoundError},
      {"copyTo",
       {"vkrfile://localhost/nothing/a.txt", persistentURL("/dir"), "b.txt"},
       kVKRCommandStatusIOError,
       kVKRFileNotFoundError},
      {"moveTo",
       {persistentURL("/a.txt"), "vkrfile://localhost/cache/", "moved.txt"},
       kVKRCommandStatusOK,
       "/moved.txt"},
  };
  for (const Case& c : cases) {
    VKRPluginResult result = run(c.action, c.arguments);
    EXPECT_EQ(result.status(), c.status) << c.action << " " << describe(Value(c.arguments));
    EXPECT_EQ(c.status == kVKRCommandStatusOK ? result.message()["fullPath"] : result.message(),
              c.message)
        << c.action << " " << describe(Value(c.arguments));
  }
  EXPECT_EQ(readFile(app_.appHome() / "Library/Caches/moved.txt"), "a");
  EXPECT_FALSE(fs::exists(documents() / "a.txt"));
  EXPECT_EQ(*FileManager::contentsOfDirectory(documents() / "dir"),
            (std::vector<std::string>{"a.txt"}));

  platform::Result<std::string> asset =
      platform::media::PhotoLibrary::writeAsset(platform::bytesOf("jpeg bytes"), "jpg");
  ASSERT_TRUE(asset.ok());
  VKRPluginResult fromLibrary = run("copyTo", {*asset, persistentURL("/dir"), "photo.jpg"});
  ASSERT_EQ(fromLibrary.status(), kVKRCommandStatusOK);
  EXPECT_EQ(readFile(documents() / "dir/photo.jpg"), "jpeg bytes");
  EXPECT_EQ(run("moveTo",
                {persistentURL("/dir/photo.jpg"), "vkrfile://localhost/assets-library/", "x.jpg"})
                .message(),
            Value(kVKRFileInvalidModificationError));
}

TEST_F(VKRFileTest, ReadsAnswerFromTheBackground) {
  writeFile(documents() / "text.txt", "h\xC3\xA9llo");
  std::string binary;
  for (int byte = 0; byte < 256; ++byte) binary += static_cast<char>(byte);
  writeFile(documents() / "all.bin", binary);
  writeFile(documents() / "image.png", "not really a png");

  VKRPluginResult text = run("readAsText", {persistentURL("/text.txt"), "utf-8", 0, -1});
  EXPECT_EQ(text.message(), Value("h\xC3\xA9llo"));
  EXPECT_FALSE(lastOnMainThread_);
  ASSERT_TRUE(std::any_cast<platform::Bytes>(&text.associatedObject()));
  EXPECT_EQ(run("readAsText", {persistentURL("/text.txt"), "UTF-8", 1, 3}).message(),
            Value("\xC3\xA9"));
  EXPECT_EQ(run("readAsText", {persistentURL("/text.txt"), "UTF-8", 1, 2}).message(),
            Value(kVKRFileEncodingError))
      << "half a character is not UTF-8";
  {
    platform::testing::LogCapture log;
    EXPECT_EQ(run("readAsText", {persistentURL("/text.txt"), "latin1", 0, -1}).message(),
              Value(kVKRFileEncodingError));
    EXPECT_TRUE(log.contains("Only UTF-8 encodings are currently supported by readAsText"));
  }
  EXPECT_EQ(run("readAsText", {"vkrfile://localhost/nothing/a", "UTF-8", 0, -1}).message(),
            Value(kVKRFileNotFoundError));

  EXPECT_EQ(run("readAsDataURL", {persistentURL("/image.png"), 0, -1}).message(),
            Value("data:image/png;base64," + platform::base64Encode("not really a png")));
  EXPECT_EQ(run("readAsArrayBuffer", {persistentURL("/all.bin"), 254, -1}).message(),
            vkrArrayBufferMessage({0xFE, 0xFF}));

  VKRPluginResult latin = run("readAsBinaryString", {persistentURL("/all.bin"), 0, -1});
  const std::string* decoded = latin.message().stringIf();
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size(), 128u + 2 * 128u);
  EXPECT_EQ(decoded->substr(0, 3), std::string("\0\1\2", 3));
  EXPECT_EQ(decoded->substr(decoded->size() - 4), "\xC3\xBE\xC3\xBF") << "U+00FE U+00FF";

  for (const char* action : {"readAsDataURL", "readAsArrayBuffer", "readAsBinaryString"}) {
    VKRPluginResult missing = run(action, {persistentURL("/missing"), 0, -1});
    EXPECT_EQ(missing.status(), kVKRCommandStatusIOError) << action;
    EXPECT_EQ(missing.message(), Value(kVKRFileNotFoundError)) << action;
  }
}

TEST_F(VKRFileTest, WriteReplacesFromThePositionOn) {
  struct Case {
    const char* before;  // nullptr: no file
    Value data;
    int64_t position;
    std::string after;
    Value answer;
  };
  const Case cases[] = {
      {"hello", "abc", 0, "abc", int64_t{3}},
      {"hello", "abc", 2, "heabc", int64_t{3}},
      {"hello", "abc", 5, "helloabc", int64_t{3}},
      {"hello", platform::bytesOf(std::string("\0\xFF", 2)), 1, std::string("h\0\xFF", 3),
       int64_t{2}},
      {"hello", "", 2, "he", 0.0},
      {nullptr, "new", 0, "new", int64_t{3}},
  };
  for (const Case& c : cases) {
    const fs::path file = documents() / "w.txt";
    if (c.before) {
      writeFile(file, c.before);
    } else {
      fs::remove(file);
    }
    VKRPluginResult result = run("write", {persistentURL("/w.txt"), c.data, c.position});
    EXPECT_EQ(result.status(), kVKRCommandStatusOK) << c.after;
    EXPECT_EQ(result.message(), c.answer) << c.after;
    EXPECT_EQ(readFile(file), c.after);
  }

  // Data of another type changes nothing.
  writeFile(documents() / "w.txt", "hello");
  for (const Value& data : {Value(42), Value(Dictionary{{"a", 1}}), Value()}) {
    VKRPluginResult result = run("write", {persistentURL("/w.txt"), data, 0});
    EXPECT_EQ(result.status(), kVKRCommandStatusError);
    EXPECT_EQ(result.message(), Value("Invalid parameter type"));
    EXPECT_EQ(readFile(documents() / "w.txt"), "hello");
  }
  EXPECT_EQ(run("write", {persistentURL("/../escape.txt"), "x", 0}).message(),
            Value(kVKRFileEncodingError));
  EXPECT_FALSE(fs::exists(app_.appHome() / "escape.txt"));
  EXPECT_EQ(run("write", {"vkrfile://localhost/assets-library/asset/x", "x", 0}).message(),
            Value(kVKRFileNoModificationAllowedError));

  // A directory can't be written: the write's own error, not the cut's.
  fs::create_directories(documents() / "folder");
  VKRPluginResult folder = run("write", {persistentURL("/folder"), "x", 0});
  EXPECT_EQ(folder.status(), kVKRCommandStatusError);
  EXPECT_EQ(folder.message(), Value(kVKRFileInvalidModificationError));
  // A file that can't be cut where asked is not appended to.
  writeFile(documents() / "w.txt", "hello");
  VKRPluginResult negative = run("write", {persistentURL("/w.txt"), "x", -1});
  EXPECT_NE(negative.status(), kVKRCommandStatusOK);
  EXPECT_EQ(readFile(documents() / "w.txt"), "hello");
}

TEST_F(VKRFileTest, TruncateMetadataAndEntries) {
  writeFile(documents() / "dir/hello.txt", "hello");
  VKRPluginResult truncated = run("truncate", {persistentURL("/dir/hello.txt"), 2});
  EXPECT_EQ(truncated.message(), Value(int64_t{2}));
  EXPECT_EQ(readFile(documents() / "dir/hello.txt"), "he");
  EXPECT_EQ(run("truncate", {persistentURL("/dir/none.txt"), 0}).message(),
            Value(kVKRFileNotFoundError));
  EXPECT_EQ(run("getFileMetadata", {persistentURL("/dir/hello.txt")}).message()["size"], Value(2));
  EXPECT_EQ(run("readEntries", {persistentURL("/dir")}).message().size(), 1u);
  EXPECT_EQ(run("setMetadata",
                {persistentURL("/dir/hello.txt"), Dictionary{{"com.apple.MobileBackup", 1}}})
                .status(),
            kVKRCommandStatusOK);
}

// With a URL that names no registered file system, each routed action still answers, once, that
// there is no such file.
TEST_F(VKRFileTest, ActionsOnAnUnregisteredFileSystemAnswerNotFound) {
  const std::string url = "vkrfile://localhost/nothing/a.txt";
  const std::pair<const char*, Value::Array> actions[] = {
      {"getFile", {url, "b", Dictionary{}}},
      {"getDirectory", {url, "b", Dictionary{}}},
      {"getParent", {url}},
      {"setMetadata", {url, Dictionary{}}},
      {"remove", {url}},
      {"removeRecursively", {url}},
      {"readEntries", {url}},
      {"truncate", {url, 0}},
      {"write", {url, "x", 0}},
      {"getFileMetadata", {url}},
      {"copyTo", {url, persistentURL("/"), "b"}},
      {"moveTo", {persistentURL("/"), url, "b"}},
      {"readAsText", {url, "UTF-8", 0, -1}},
      {"readAsDataURL", {url, 0, -1}},
      {"readAsArrayBuffer", {url, 0, -1}},
      {"readAsBinaryString", {url, 0, -1}},
      {"getFile", {42, "b"}},
  };
  for (const auto& [action, arguments] : actions) {
    VKRPluginResult result = run(action, arguments);
    EXPECT_EQ(result.status(), kVKRCommandStatusIOError) << action;
    EXPECT_EQ(result.message(), Value(kVKRFileNotFoundError)) << action;
  }
  platform::testing::drainMainLoop();
  EXPECT_EQ(delegate_->sent().size(), std::size(actions)) << "one answer each";
}

TEST_F(VKRFileTest, DevicePathsFreeSpaceAndLocalPaths) {
  writeFile(documents() / "a.txt", "x");
  const std::pair<std::string, std::pair<int, int>> paths[] = {
      {(documents() / "a.txt").string(), {1, 0}},
      {documents().string(), {1, 1}},
      {(documents() / "none").string(), {0, 0}},
  };
  for (const auto& [path, expected] : paths) {
    EXPECT_EQ(run("testFileExists", {path}).message(), Value(expected.first)) << path;
    EXPECT_EQ(run("testDirectoryExists", {path}).message(), Value(expected.second)) << path;
  }
  EXPECT_EQ(run("testFileExists", {nullptr}).message(), Value(0));

  const VKRPluginResult space = run("getFreeDiskSpace", {});
  const std::string* free = space.message().stringIf();
  ASSERT_TRUE(free);
  EXPECT_FALSE(free->empty());
  EXPECT_EQ(free->find_first_not_of("0123456789"), std::string::npos);

  EXPECT_EQ(run("_getLocalFilesystemPath", {persistentURL("/a.txt")}).message(),
            Value((documents() / "a.txt").string()));
  for (const char* unresolvable :
       {"vkrfile://localhost/nothing/a", "vkrfile://localhost/persistent/../x",
        "vkrfile://localhost/assets-library/asset/a"}) {
    VKRPluginResult result = run("_getLocalFilesystemPath", {unresolvable});
    EXPECT_EQ(result.status(), kVKRCommandStatusError) << unresolvable;
    EXPECT_EQ(result.message(), Value("Cannot resolve URL to a file")) << unresolvable;
  }
}

// The device root and every other file system reach only the app's container: a hostile page
// gets the security error for anything outside, and nothing there changes.
class VKRFileContainerTest : public VKRFileTest {
 protected:
  void SetUp() override {
    VKRFileTest::SetUp();
    writeFile(beside() / "beside.txt", "beside");
    writeFile(beside() / "outside/o.txt", "o");
    writeFile(app_.keychainFolder() / "keychain.plist", "keys");
    writeFile(documents() / "a.txt", "a");
    fs::create_symlink(beside() / "beside.txt", documents() / "link.txt");
    fs::create_directory_symlink(beside() / "outside", documents() / "linked");
    fs::create_symlink(beside() / "made-through-link.txt", documents() / "dangling");
    besideTime_ = fs::last_write_time(beside() / "beside.txt");
  }

  fs::path beside() const { return app_.appHome().parent_path(); }
  static std::string rootURL(const fs::path& path) {
    return "vkrfile://localhost/root" + path.string();
  }
  // Nothing outside the container changed.
  void expectOutsideUntouched() const {
    EXPECT_EQ(readFile(beside() / "beside.txt"), "beside");
    EXPECT_EQ(fs::last_write_time(beside() / "beside.txt"), besideTime_);
    EXPECT_EQ(*FileManager::contentsOfDirectory(beside() / "outside"),
              (std::vector<std::string>{"o.txt"}));
    EXPECT_EQ(readFile(beside() / "outside/o.txt"), "o");
    EXPECT_EQ(readFile(app_.keychainFolder() / "keychain.plist"), "keys");
    EXPECT_FALSE(fs::exists(beside() / "made-through-link.txt"));
  }

  fs::file_time_type besideTime_;
};

TEST_F(VKRFileContainerTest, NothingOutsideTheContainerIsReachable) {
  const std::string besideFile = rootURL(beside() / "beside.txt");
  const std::string outsideDir = rootURL(beside() / "outside");
  const Dictionary create{{"create", 1}};
  struct Case {
    const char* action;
    Value::Array arguments;
    int32_t code;
  };
  const Case cases[] = {
      {"readAsText", {besideFile, "UTF-8", 0, -1}, kVKRFileSecurityError},
      {"readAsText",
       {"vkrfile://localhost/root/etc/passwd", "UTF-8", 0, -1},
       kVKRFileSecurityError},
      {"readAsDataURL",
       {"file://" + (beside() / "beside.txt").string(), 0, -1},
       kVKRFileSecurityError},
      {"readAsText",
       {rootURL(app_.keychainFolder() / "keychain.plist"), "UTF-8", 0, -1},
       kVKRFileSecurityError},
      {"readAsText", {persistentURL("/link.txt"), "UTF-8", 0, -1}, kVKRFileSecurityError},
      {"resolveLocalFileSystemURI", {besideFile}, kVKRFileSecurityError},
      {"getFileMetadata", {besideFile}, kVKRFileSecurityError},
      {"readEntries", {outsideDir}, kVKRFileSecurityError},
      {"getParent", {rootURL(app_.appHome())}, kVKRFileSecurityError},
      {"write", {besideFile, "x", 0}, kVKRFileSecurityError},
      {"write", {rootURL(beside() / "outside/new.txt"), "x", 0}, kVKRFileSecurityError},
      {"write", {persistentURL("/link.txt"), "x", 0}, kVKRFileSecurityError},
      {"write", {persistentURL("/linked/new.txt"), "x", 0}, kVKRFileSecurityError},
      {"write", {persistentURL("/dangling"), "x", 0}, kVKRFileSecurityError},
      {"truncate", {besideFile, 0}, kVKRFileSecurityError},
      {"setMetadata",
       {besideFile, Dictionary{{"com.apple.MobileBackup", 1}}},
       kVKRFileSecurityError},
      {"getFile", {outsideDir, "new.txt", create}, kVKRFileSecurityError},
      {"getDirectory", {persistentURL("/linked"), "sub", create}, kVKRFileSecurityError},
      {"remove", {besideFile}, kVKRFileSecurityError},
      {"remove", {rootURL(beside() / "outside/o.txt")}, kVKRFileSecurityError},
      {"removeRecursively", {outsideDir}, kVKRFileSecurityError},
      {"copyTo", {besideFile, persistentURL("/"), "copied.txt"}, kVKRFileSecurityError},
      {"moveTo", {besideFile, persistentURL("/"), "moved.txt"}, kVKRFileSecurityError},
      {"copyTo", {persistentURL("/a.txt"), outsideDir, "a.txt"}, kVKRFileSecurityError},
      {"moveTo",
       {persistentURL("/a.txt"), persistentURL("/linked"), "a.txt"},
       kVKRFileSecurityError},
      // The bundle is read only.
      {"write",
       {rootURL(app_.bundlePath() / "new.txt"), "x", 0},
       kVKRFileNoModificationAllowedError},
      {"moveTo",
       {rootURL(app_.bundlePath() / "Info.plist"), persistentURL("/"), "i.plist"},
       kVKRFileNoModificationAllowedError},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.action) + " " + describe(Value(c.arguments));
    VKRPluginResult result = run(c.action, c.arguments);
    EXPECT_NE(result.status(), kVKRCommandStatusOK) << what;
    EXPECT_EQ(result.message(), Value(c.code)) << what;
  }
  expectOutsideUntouched();
  EXPECT_FALSE(fs::exists(documents() / "copied.txt"));
  EXPECT_FALSE(fs::exists(documents() / "moved.txt"));
  EXPECT_FALSE(fs::exists(app_.bundlePath() / "new.txt"));
  EXPECT_EQ(readFile(documents() / "a.txt"), "a");

  // Device paths: outside the container nothing is seen, and other plugins get no path there.
  EXPECT_EQ(run("testFileExists", {(beside() / "beside.txt").string()}).message(), Value(0));
  EXPECT_EQ(run("testDirectoryExists", {(beside() / "outside").string()}).message(), Value(0));
  EXPECT_EQ(plugin_->filesystemPathForURL(VKRFilesystemURL::fileSystemURLWithString(besideFile)),
            std::nullopt);
  EXPECT_EQ(run("_getLocalFilesystemPath", {besideFile}).status(), kVKRCommandStatusError);
}

TEST_F(VKRFileContainerTest, TheDeviceRootStillReachesTheAppsOwnFiles) {
  EXPECT_EQ(run("readAsText", {rootURL(documents() / "a.txt"), "UTF-8", 0, -1}).message(),
            Value("a"));
  EXPECT_EQ(run("readAsText", {rootURL(app_.bundlePath() / "Info.plist"), "UTF-8", 0, 5}).message(),
            Value("<?xml"));
  EXPECT_EQ(run("write", {rootURL(documents() / "b.txt"), "bb", 0}).message(), Value(2));
  EXPECT_EQ(run("copyTo", {rootURL(documents() / "b.txt"), rootURL(documents()), "c.txt"}).status(),
            kVKRCommandStatusOK);
  EXPECT_EQ(
      run("copyTo", {rootURL(app_.bundlePath() / "Info.plist"), persistentURL("/"), "info.plist"})
          .status(),
      kVKRCommandStatusOK);
  EXPECT_EQ(run("remove", {rootURL(documents() / "b.txt")}).status(), kVKRCommandStatusOK);
  EXPECT_EQ(readFile(documents() / "c.txt"), "bb");
  EXPECT_TRUE(fs::exists(documents() / "info.plist"));
  EXPECT_FALSE(fs::exists(documents() / "b.txt"));
  EXPECT_EQ(run("testFileExists", {(documents() / "a.txt").string()}).message(), Value(1));
  expectOutsideUntouched();
}

TEST_F(VKRFileContainerTest, ConfigXmlCanLetTheAppOut) {
  start({{"vokaruallowfilesoutsideapp", "true"}});
  EXPECT_EQ(run("readAsText", {rootURL(beside() / "beside.txt"), "UTF-8", 0, -1}).message(),
            Value("beside"));
  EXPECT_EQ(run("readAsText", {persistentURL("/link.txt"), "UTF-8", 0, -1}).message(),
            Value("beside"));
}

// An app home reached through a link: the folders requestAllPaths names are resolved back into
// their own file systems, not the device root's.
TEST_F(VKRFileTest, PathsOfAnAppHomeReachedThroughALinkStayInTheirFileSystems) {
  const fs::path link = app_.appHome().parent_path() / "home-link";
  fs::create_directory_symlink(app_.appHome(), link);
  platform::AppEnvironment::configure({app_.bundlePath(), link, app_.keychainFolder()});
  start({});
  writeFile(link / "Documents/a.txt", "a");
  writeFile(link / "Library/NoCloud/n.txt", "n");

  VKRPluginResult paths = run("requestAllPaths", {});
  const struct {
    const char* key;
    const char* file;
    const char* fileSystem;
  } cases[] = {
      {"documentsDirectory", "a.txt", "persistent"},
      {"dataDirectory", "n.txt", "library-nosync"},
  };
  for (const auto& c : cases) {
    const std::string url = *paths.message()[c.key].stringIf() + c.file;
    VKRPluginResult entry = run("resolveLocalFileSystemURI", {url});
    ASSERT_EQ(entry.status(), kVKRCommandStatusOK) << url;
    EXPECT_EQ(entry.message()["filesystemName"], Value(c.fileSystem)) << url;
    EXPECT_EQ(entry.message()["fullPath"], Value(std::string("/") + c.file)) << url;
    EXPECT_EQ(run("readAsText", {url, "UTF-8", 0, -1}).status(), kVKRCommandStatusOK) << url;
  }
}

}  // namespace
