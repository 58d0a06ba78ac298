#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/storage/file_manager.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::FileManager;
using platform::Value;
using platform::testing::readFile;
using platform::testing::TempDir;
using platform::testing::writeFile;

struct Read {
  std::optional<std::string> text;
  std::optional<std::string> mimeType;
  int32_t error = -1;
};

int64_t codeOf(const VKRPluginResult& result) { return result.message().intOr(-1); }

class VKRLocalFilesystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FileManager::createDirectory(root_));
    writeFile(base_ / "outside/secret.txt", "secret");
    writeFile(base_ / "persistent2/x", "sibling");
  }

  // A URL of the file system; the text after the name is taken as written (escapes and all).
  static VKRFilesystemURL url(std::string_view rest) {
    return VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/persistent" +
                                                     std::string(rest));
  }

  Read read(const VKRFilesystemURL& url, int64_t start, int64_t end) {
    Read answer;
    int calls = 0;
    fs_->readFileAtURL(
        url, start, end,
        [&](std::optional<platform::Bytes> data, std::optional<std::string> mime, int32_t error) {
          ++calls;
          if (data) answer.text = platform::stringOf(*data);
          answer.mimeType = mime;
          answer.error = error;
        });
    EXPECT_EQ(calls, 1) << "answers once, before returning";
    return answer;
  }

  VKRPluginResult copy(std::string_view source, std::string_view destination,
                       const std::string& name, bool isCopy) {
    std::optional<VKRPluginResult> answer;
    fs_->copyFileToURL(url(destination), name, *fs_, url(source), isCopy,
                       [&](VKRPluginResult result) { answer = std::move(result); });
    EXPECT_TRUE(answer) << "a local copy answers before returning";
    return answer.value_or(VKRPluginResult());
  }

  VKRPluginResult metadata(const VKRFilesystemURL& url) {
    std::optional<VKRPluginResult> answer;
    fs_->getFileMetadataForURL(url, [&](VKRPluginResult result) { answer = std::move(result); });
    EXPECT_TRUE(answer);
    return answer.value_or(VKRPluginResult());
  }

  void expectOutsideUntouched() {
    EXPECT_EQ(readFile(base_ / "outside/secret.txt"), "secret");
    EXPECT_EQ(readFile(base_ / "persistent2/x"), "sibling");
    EXPECT_EQ(*FileManager::contentsOfDirectory(base_.path()),
              (std::vector<std::string>{"outside", "persistent", "persistent2"}));
  }

  TempDir base_;
  fs::path root_ = base_ / "persistent";
  std::shared_ptr<VKRLocalFilesystem> fs_ =
      std::make_shared<VKRLocalFilesystem>("persistent", root_.string());
};

TEST(VKRLocalFilesystemPathTest, NormalizePath) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/../c", "/a/c"},
      {"/a/../../b", "/b"},
      {"a/b/../../c", "c"},
      {"/..", "/"},
      {"/a/./b", "/a/./b"},
      {"/a/./../b", "/./b"},
      {"//a///b/", "/a/b"},
      {"", ""},
      {"/", "/"},
  };
  for (const auto& [path, normal] : cases) {
    EXPECT_EQ(VKRLocalFilesystem::normalizePath(path), normal) << path;
  }
}

TEST(VKRLocalFilesystemPathTest, MapsFullPathsToDevicePathsAndBack) {
  VKRLocalFilesystem documents("documents", "/home/u/Documents/");
  EXPECT_EQ(documents.fsRoot(), "/home/u/Documents");
  const std::pair<const char*, std::optional<std::string>> toDevice[] = {
      {"/notes/a.txt", "/home/u/Documents/notes/a.txt"},
      {"/dir/", "/home/u/Documents/dir"},
      {"/", "/home/u/Documents"},
      {"", "/home/u/Documents"},
      {"/a.txt?x=1", "/home/u/Documents/a.txt"},
      {"/a/./b/../c", "/home/u/Documents/a/c"},
      {"/a?x=/../../..", "/home/u/Documents/a"},
      {"/../x", std::nullopt},
      {"/a/../../x", std::nullopt},
      {"/./../x", std::nullopt},
  };
  for (const auto& [fullPath, path] : toDevice) {
    EXPECT_EQ(documents.filesystemPathForFullPath(fullPath), path) << fullPath;
  }
  for (std::string_view withNul :
       {std::string_view("/a\0b", 4), std::string_view("/a\0/../x", 9)}) {
    EXPECT_EQ(documents.filesystemPathForFullPath(withNul), std::nullopt);
  }

  const std::pair<const char*, std::optional<std::string>> toFullPath[] = {
      {"/home/u/Documents/notes/a.txt", "/notes/a.txt"},
      {"/home/u/Documents", ""},
      {"/home/u/Documents/", "/"},
      {"/home/u/Documents2/x", std::nullopt},
      {"/home/u/Documents/../secret", std::nullopt},
      {"/home/u", std::nullopt},
      {"relative/Documents", std::nullopt},
  };
  for (const auto& [path, fullPath] : toFullPath) {
    EXPECT_EQ(documents.fullPathForFileSystemPath(path), fullPath) << path;
  }
  EXPECT_EQ(documents.URLforFilesystemPath("/etc/passwd"), std::nullopt);
  std::optional<VKRFilesystemURL> url =
      documents.URLforFilesystemPath("/home/u/Documents/my notes/100%.txt");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->url()->absoluteString(), "vkrfile://localhost/documents/my%20notes/100%25.txt");
  EXPECT_EQ(url->fullPath(), "/my notes/100%.txt");
}

TEST(VKRLocalFilesystemPathTest, TheDeviceRootMapsWithoutItsLeadingSlash) {
  VKRLocalFilesystem root("root", "/");
  EXPECT_EQ(root.filesystemPathForFullPath("/var/x"), "//var/x");
  EXPECT_EQ(root.fullPathForFileSystemPath("/var/x"), "var/x");
  std::optional<VKRFilesystemURL> url = root.URLforFilesystemPath("/var/x");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->url()->absoluteString(), "vkrfile://localhost/root/var/x");
  EXPECT_EQ(root.filesystemPathForFullPath("/"), "/");
  EXPECT_EQ(root.filesystemPathForFullPath("/../etc"), std::nullopt);
}

TEST(VKRLocalFilesystemPathTest, CopyAndMoveStayOutOfTheirOwnSource) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"/a/b", "/a/bc", true},   {"/a/b", "/a/bc/b", true}, {"/a/b", "/a/b", false},
      {"/a/b", "/a/b/c", false}, {"/a/b", "/a/b/", false},  {"/a/b/", "/a/b/c/d", false},
      {"/a/b", "/a", true},      {"/", "/x", false},
  };
  for (const auto& [source, destination, allowed] : cases) {
    EXPECT_EQ(VKRLocalFilesystem::canCopyMoveSrc(source, destination), allowed)
        << source << " -> " << destination;
  }
}

TEST(VKRLocalFilesystemPathTest, MimeTypeByExtension) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {"/a/photo.JPG", "image/jpeg"}, {"/a/b.css", "text/css"},        {"/x.m4a", "audio/mp4"},
      {"/x.wav", "audio/wav"},        {"/no-extension", std::nullopt}, {std::nullopt, std::nullopt},
  };
  for (const auto& [path, mime] : cases) {
    EXPECT_EQ(VKRLocalFilesystem::getMimeTypeFromPath(path), mime) << path.value_or("(none)");
  }
}

TEST_F(VKRLocalFilesystemTest, EntriesDescribeFilesAndFolders) {
  Dictionary folder = fs_->makeEntryForPath("/docs", true);
  EXPECT_EQ(folder, (Dictionary{{"isFile", false},
                                {"isDirectory", true},
                                {"fullPath", "/docs/"},
                                {"name", "docs"},
                                {"filesystemName", "persistent"},
                                {"nativeURL", "file://" + root_.string() + "/docs/"}}));
  fs_->setUrlTransformer([](const std::string& url) { return url + "#seen"; });
  Dictionary file = fs_->makeEntryForPath("/a b.txt?v=2", false);
  EXPECT_EQ(file, (Dictionary{{"isFile", true},
                              {"isDirectory", false},
                              {"fullPath", "/a b.txt?v=2"},
                              {"name", "a b.txt"},
                              {"filesystemName", "persistent"},
                              {"nativeURL", "file://" + root_.string() + "/a%20b.txt#seen"}}));
}

// Every way out of the root a page could try, through every operation that takes a URL: each is
// refused as a malformed URL and nothing outside the root is read, written or removed.
TEST_F(VKRLocalFilesystemTest, HostileURLsNeverLeaveTheRoot) {
  writeFile(root_ / "inside.txt", "inside");
  const char* hostile[] = {
      "/../outside/secret.txt",
      "/%2E%2E/outside/secret.txt",
      "/%2e%2e%2Foutside%2Fsecret.txt",
      "/a/../../outside/secret.txt",
      "/./../outside/secret.txt",
      "/inside.txt/../../outside/secret.txt",
      "/../persistent2/x",
      "/..",
      "/x%00/../../outside/secret.txt",
  };
  for (const char* rest : hostile) {
    SCOPED_TRACE(rest);
    const VKRFilesystemURL target = url(rest);
    EXPECT_EQ(fs_->filesystemPathForURL(target), std::nullopt);
    EXPECT_EQ(fs_->makeEntryForLocalURL(target), std::nullopt);
    EXPECT_EQ(codeOf(fs_->entryForLocalURI(target)), kVKRFileEncodingError);
    EXPECT_EQ(read(target, 0, -1).error, kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->writeToFileAtURL(target, platform::bytesOf("pwned"), false)),
              kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->truncateFileAtURL(target, 0)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->removeFileAtURL(target)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->recursiveRemoveFileAtURL(target)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->readEntriesAtURL(target)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->getParentForURL(target)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->setMetadataForURL(target, {{"com.apple.MobileBackup", 1}})),
              kVKRFileEncodingError);
    EXPECT_EQ(codeOf(metadata(target)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(fs_->getFileForURL(target, "y", {{"create", 1}})), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(copy(rest, "", "stolen", true)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(copy("/inside.txt", rest, "inside.txt", true)), kVKRFileEncodingError);
    EXPECT_EQ(codeOf(copy("/inside.txt", rest, "inside.txt", false)), kVKRFileEncodingError);
    expectOutsideUntouched();
  }
  EXPECT_EQ(readFile(root_ / "inside.txt"), "inside");
  EXPECT_EQ(*FileManager::contentsOfDirectory(root_), (std::vector<std::string>{"inside.txt"}));
}

TEST_F(VKRLocalFilesystemTest, HostileNamesNeverLeaveTheirFolder) {
  writeFile(root_ / "inside.txt", "inside");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "sub"));
  // getFile takes paths relative to its folder; climbing out of the root is refused.
  for (const char* path : {"../../outside/secret.txt", "x/../../../outside", "../..", "a:b"}) {
    for (bool create : {false, true}) {
      EXPECT_EQ(codeOf(fs_->getFileForURL(url("/sub"), path, {{"create", create}})),
                kVKRFileEncodingError)
          << path;
    }
  }
  VKRPluginResult climbedInside = fs_->getFileForURL(url("/sub"), "../inside.txt", {});
  ASSERT_EQ(climbedInside.status(), kVKRCommandStatusOK);
  EXPECT_EQ(climbedInside.message()["fullPath"], Value("/inside.txt"));
  // Copy and move take one plain name.
  for (const char* name : {"../stolen", "../../outside/secret.txt", "a/b", ".", "..", ""}) {
    for (bool isCopy : {true, false}) {
      EXPECT_EQ(codeOf(copy("/inside.txt", "/sub", name, isCopy)), kVKRFileEncodingError) << name;
    }
  }
  EXPECT_EQ(readFile(root_ / "inside.txt"), "inside");
  EXPECT_TRUE(FileManager::contentsOfDirectory(root_ / "sub")->empty());
  expectOutsideUntouched();
}

TEST_F(VKRLocalFilesystemTest, GetFileFindsOrCreatesByTheOptions) {
  writeFile(root_ / "file.txt", "x");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "dir"));
  struct Case {
    const char* path;
    Dictionary options;
    int32_t status;
    int64_t code;  // -1 for OK
  };
  const Case cases[] = {
      {"file.txt", {}, kVKRCommandStatusOK, -1},
      {"dir", {{"getDir", 1}}, kVKRCommandStatusOK, -1},
      {"dir", {}, kVKRCommandStatusIOError, kVKRFileTypeMismatchError},
      {"file.txt", {{"getDir", true}}, kVKRCommandStatusIOError, kVKRFileTypeMismatchError},
      {"dir", {{"create", 1}}, kVKRCommandStatusIOError, kVKRFileTypeMismatchError},
      {"missing.txt", {}, kVKRCommandStatusIOError, kVKRFileNotFoundError},
      {"file.txt",
       {{"create", 1}, {"exclusive", 1}},
       kVKRCommandStatusIOError,
       kVKRFilePathExistsError},
      {"file.txt", {{"create", "yes"}, {"exclusive", "yes"}}, kVKRCommandStatusOK, -1},
      {"no/parent", {{"create", 1}, {"getDir", 1}}, kVKRCommandStatusIOError, kVKRFileAbortError},
      {"no/parent.txt", {{"create", 1}}, kVKRCommandStatusIOError, kVKRFileAbortError},
  };
  for (const Case& c : cases) {
    VKRPluginResult result = fs_->getFileForURL(url("/"), c.path, c.options);
    EXPECT_EQ(result.status(), c.status) << c.path;
    if (c.code >= 0) {
      EXPECT_EQ(codeOf(result), c.code) << c.path;
    }
  }

  VKRPluginResult made = fs_->getFileForURL(url("/dir"), "new.txt", {{"create", 1}});
  ASSERT_EQ(made.status(), kVKRCommandStatusOK);
  EXPECT_EQ(made.message()["fullPath"], Value("/dir/new.txt"));
  EXPECT_EQ(made.message()["isFile"], Value(true));
  EXPECT_EQ(readFile(root_ / "dir/new.txt"), "");
  VKRPluginResult folder = fs_->getFileForURL(url(""), "dir/sub", {{"create", 1}, {"getDir", 1}});
  ASSERT_EQ(folder.status(), kVKRCommandStatusOK);
  EXPECT_EQ(folder.message()["fullPath"], Value("/dir/sub/"));
  EXPECT_TRUE(fs::is_directory(root_ / "dir/sub"));
}

TEST_F(VKRLocalFilesystemTest, ParentOfAnItemAndOfTheRoot) {
  writeFile(root_ / "a/b.txt", "x");
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b.txt", "/a/"}, {"/a", "/"}, {"/", "/"}, {"", "/"}, {"/a/b.txt?x=1", "/a/"},
  };
  for (const auto& [rest, parent] : cases) {
    VKRPluginResult result = fs_->getParentForURL(url(rest));
    ASSERT_EQ(result.status(), kVKRCommandStatusOK) << rest;
    EXPECT_EQ(result.message()["fullPath"], Value(parent)) << rest;
    EXPECT_EQ(result.message()["isDirectory"], Value(true)) << rest;
  }
  EXPECT_EQ(codeOf(fs_->getParentForURL(url("/missing/x"))), kVKRFileNotFoundError);
}

TEST_F(VKRLocalFilesystemTest, RemoveRefusesFullFoldersAndTheRootRecursiveRemoveTakesAll) {
  writeFile(root_ / "dir/one.txt", "1");
  writeFile(root_ / "file.txt", "x");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "empty"));
  EXPECT_EQ(codeOf(fs_->removeFileAtURL(url("/dir"))), kVKRFileInvalidModificationError);
  EXPECT_TRUE(fs::exists(root_ / "dir/one.txt"));
  EXPECT_EQ(fs_->removeFileAtURL(url("/empty")).status(), kVKRCommandStatusOK);
  EXPECT_EQ(fs_->removeFileAtURL(url("/file.txt")).status(), kVKRCommandStatusOK);
  EXPECT_EQ(codeOf(fs_->removeFileAtURL(url("/file.txt"))), kVKRFileNotFoundError);
  EXPECT_EQ(fs_->recursiveRemoveFileAtURL(url("/dir")).status(), kVKRCommandStatusOK);
  EXPECT_FALSE(fs::exists(root_ / "dir"));
  {
    platform::testing::LogCapture log;
    EXPECT_EQ(codeOf(fs_->recursiveRemoveFileAtURL(url("/dir"))), kVKRFileNotFoundError);
    EXPECT_TRUE(log.contains("error removing filesystem entry at " + (root_ / "dir").string()));
  }

  writeFile(root_ / "keep.txt", "keep");
  for (const char* rootURL : {"", "/", "//", "/a/..", "/.", "/./"}) {
    EXPECT_EQ(codeOf(fs_->removeFileAtURL(url(rootURL))), kVKRFileNoModificationAllowedError)
        << rootURL;
    EXPECT_EQ(codeOf(fs_->recursiveRemoveFileAtURL(url(rootURL))),
              kVKRFileNoModificationAllowedError)
        << rootURL;
  }
  EXPECT_EQ(readFile(root_ / "keep.txt"), "keep");
}

TEST_F(VKRLocalFilesystemTest, ReadEntriesListsTheFolder) {
  writeFile(root_ / "dir/b.txt", "b");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "dir/a"));
  VKRPluginResult result = fs_->readEntriesAtURL(url("/dir"));
  ASSERT_EQ(result.status(), kVKRCommandStatusOK);
  ASSERT_EQ(result.message().size(), 2u);
  EXPECT_EQ(result.message().at(0)["fullPath"], Value("/dir/a/"));
  EXPECT_EQ(result.message().at(0)["isDirectory"], Value(true));
  EXPECT_EQ(result.message().at(1)["fullPath"], Value("/dir/b.txt"));
  EXPECT_EQ(result.message().at(1)["isFile"], Value(true));
  EXPECT_EQ(codeOf(fs_->readEntriesAtURL(url("/missing"))), kVKRFileNotFoundError);
}

TEST_F(VKRLocalFilesystemTest, ReadsClampTheirRange) {
  writeFile(root_ / "hello.txt", "hello world");
  struct Case {
    int64_t start, end;
    const char* text;
  };
  const Case cases[] = {
      {2, 5, "llo"},
      {2, -1, "llo world"},
      {0, -1, "hello world"},
      {0, 1000, "hello world"},
      {5, 2, ""},
      {-3, 4, "hell"},
      {100, 200, ""},
      {11, -1, ""},
      {INT64_MIN, INT64_MAX, "hello world"},
  };
  for (const Case& c : cases) {
    Read answer = read(url("/hello.txt"), c.start, c.end);
    EXPECT_EQ(answer.error, 0) << c.start << ".." << c.end;
    EXPECT_EQ(answer.text, c.text) << c.start << ".." << c.end;
    EXPECT_EQ(answer.mimeType, "text/plain");
  }
  writeFile(root_ / "data.unknownext", "z");
  EXPECT_EQ(read(url("/data.unknownext"), 0, -1).mimeType, "*/*");
  for (const char* unreadable : {"/missing.txt", "/", ""}) {
    Read answer = read(url(unreadable), 0, -1);
    EXPECT_EQ(answer.error, kVKRFileNotFoundError) << unreadable;
    EXPECT_FALSE(answer.text) << unreadable;
  }
}

// Offsets beyond 4 GiB, in a sparse file that takes no room on disk.
TEST_F(VKRLocalFilesystemTest, OffsetsAreSixtyFourBit) {
  writeFile(root_ / "big.bin", "head");
  const int64_t fiveGiB = int64_t{5} << 30;
  VKRPluginResult truncated = fs_->truncateFileAtURL(url("/big.bin"), fiveGiB);
  ASSERT_EQ(truncated.status(), kVKRCommandStatusOK);
  EXPECT_EQ(truncated.message(), Value(fiveGiB));
  EXPECT_EQ(fs::file_size(root_ / "big.bin"), static_cast<uintmax_t>(fiveGiB));
  ASSERT_EQ(fs_->writeToFileAtURL(url("/big.bin"), platform::bytesOf("tail"), true).status(),
            kVKRCommandStatusOK);
  EXPECT_EQ(read(url("/big.bin"), fiveGiB - 2, -1).text, std::string("\0\0tail", 6));
  EXPECT_EQ(read(url("/big.bin"), 1, 3).text, "ea");
  VKRPluginResult size = metadata(url("/big.bin"));
  EXPECT_EQ(size.message()["size"], Value(fiveGiB + 4));
}

TEST_F(VKRLocalFilesystemTest, TruncateAnswersErrorsForWhatItCannotCut) {
  writeFile(root_ / "hello.txt", "hello");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "dir"));
  VKRPluginResult cut = fs_->truncateFileAtURL(url("/hello.txt"), 2);
  EXPECT_EQ(cut.status(), kVKRCommandStatusOK);
  EXPECT_EQ(cut.message(), Value(int64_t{2}));
  EXPECT_EQ(readFile(root_ / "hello.txt"), "he");
  const std::tuple<const char*, int64_t, int64_t> failures[] = {
      {"/missing.txt", 0, kVKRFileNotFoundError},
      {"/dir", 0, kVKRFileNoModificationAllowedError},
      {"/hello.txt", -1, kVKRFileInvalidModificationError},
  };
  for (const auto& [rest, position, code] : failures) {
    VKRPluginResult result = fs_->truncateFileAtURL(url(rest), position);
    EXPECT_EQ(result.status(), kVKRCommandStatusIOError) << rest;
    EXPECT_EQ(codeOf(result), code) << rest;
  }
  EXPECT_EQ(readFile(root_ / "hello.txt"), "he");
  EXPECT_FALSE(fs::exists(root_ / "missing.txt"));
}

TEST_F(VKRLocalFilesystemTest, WritesAppendOrReplaceAndFinishOrFail) {
  VKRPluginResult nothing = fs_->writeToFileAtURL(url("/empty.txt"), {}, false);
  EXPECT_EQ(nothing.status(), kVKRCommandStatusOK);
  EXPECT_EQ(nothing.message(), Value(0.0));
  EXPECT_FALSE(fs::exists(root_ / "empty.txt")) << "nothing to write opens nothing";

  VKRPluginResult written = fs_->writeToFileAtURL(url("/a.txt"), platform::bytesOf("hello"), false);
  EXPECT_EQ(written.status(), kVKRCommandStatusOK);
  EXPECT_EQ(written.message(), Value(int64_t{5}));
  ASSERT_EQ(fs_->writeToFileAtURL(url("/a.txt"), platform::bytesOf(" world"), true).status(),
            kVKRCommandStatusOK);
  EXPECT_EQ(readFile(root_ / "a.txt"), "hello world");
  ASSERT_EQ(fs_->writeToFileAtURL(url("/a.txt"), platform::bytesOf("bye"), false).status(),
            kVKRCommandStatusOK);
  EXPECT_EQ(readFile(root_ / "a.txt"), "bye");

  ASSERT_TRUE(FileManager::createDirectory(root_ / "dir"));
  for (const char* rest : {"/dir", "/missing/a.txt"}) {
    VKRPluginResult failed = fs_->writeToFileAtURL(url(rest), platform::bytesOf("x"), true);
    EXPECT_EQ(failed.status(), kVKRCommandStatusError) << rest;
    EXPECT_EQ(codeOf(failed), kVKRFileInvalidModificationError) << rest;
  }
  // A device that takes no bytes: the write is an error, never a success with a short count.
  VKRLocalFilesystem device("root", "/");
  if (fs::exists("/dev/full")) {
    VKRPluginResult full = device.writeToFileAtURL(
        VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/root/dev/full"),
        platform::Bytes(100000, 'x'), true);
    EXPECT_EQ(full.status(), kVKRCommandStatusError);
    EXPECT_EQ(codeOf(full), kVKRFileInvalidModificationError);
  }
}

TEST_F(VKRLocalFilesystemTest, MetadataOfFilesAndFolders) {
  writeFile(root_ / "dir/a.txt", "hello");
  ASSERT_TRUE(FileManager::setModificationDate(root_ / "dir/a.txt", platform::Date{1500000000.25}));
  VKRPluginResult file = metadata(url("/dir/a.txt"));
  ASSERT_EQ(file.status(), kVKRCommandStatusOK);
  EXPECT_EQ(file.message(), Value(Dictionary{{"fullPath", "/dir/a.txt"},
                                             {"type", ""},
                                             {"name", "a.txt"},
                                             {"size", 5},
                                             {"lastModifiedDate", 1500000000250.0}}));
  VKRPluginResult folder = metadata(url("/dir"));
  EXPECT_EQ(folder.message()["size"], Value(0));
  EXPECT_EQ(folder.message()["name"], Value("dir"));

  platform::testing::LogCapture log;
  VKRPluginResult missing = metadata(url("/missing"));
  EXPECT_EQ(missing.status(), kVKRCommandStatusError);
  EXPECT_EQ(codeOf(missing), kVKRFileNotFoundError);
  EXPECT_TRUE(log.contains("error getting metadata: "));
}

TEST_F(VKRLocalFilesystemTest, BackupMetadataMarksTheItem) {
  writeFile(root_ / "a.txt", "x");
  const VKRFilesystemURL file = url("/a.txt");
  EXPECT_EQ(fs_->setMetadataForURL(file, {{"com.apple.MobileBackup", 1}}).status(),
            kVKRCommandStatusOK);
  platform::Result<bool> excluded = FileManager::isExcludedFromBackup(root_ / "a.txt");
  if (!excluded.ok()) GTEST_SKIP() << "the temporary folder keeps no extended attributes";
  EXPECT_TRUE(*excluded);
  EXPECT_EQ(fs_->setMetadataForURL(file, {{"com.apple.MobileBackup", false}}).status(),
            kVKRCommandStatusOK);
  EXPECT_FALSE(*FileManager::isExcludedFromBackup(root_ / "a.txt"));

  for (const Dictionary& refused :
       {Dictionary{}, Dictionary{{"com.apple.MobileBackup", "yes"}}, Dictionary{{"other", 1}}}) {
    VKRPluginResult result = fs_->setMetadataForURL(file, refused);
    EXPECT_EQ(result.status(), kVKRCommandStatusError);
    EXPECT_TRUE(result.message().isNull());
  }
  EXPECT_EQ(fs_->setMetadataForURL(url("/missing"), {{"com.apple.MobileBackup", 1}}).status(),
            kVKRCommandStatusError);
}

TEST_F(VKRLocalFilesystemTest, CopyAndMoveRules) {
  struct Case {
    const char* name;
    const char* source;
    const char* destination;
    const char* newName;
    bool copy;
    int64_t code;  // -1 for OK
  };
  const Case cases[] = {
      {"file to a new name", "/a/file.txt", "/b", "copy.txt", true, -1},
      {"file onto an existing file", "/a/file.txt", "/b", "existing.txt", true,
       kVKRFilePathExistsError},
      {"file onto itself", "/a/file.txt", "/a", "file.txt", true, kVKRFileInvalidModificationError},
      {"folder into its own subfolder", "/a", "/a/sub", "a", true,
       kVKRFileInvalidModificationError},
      {"folder onto a file", "/a", "/b", "existing.txt", true, kVKRFileInvalidModificationError},
      {"folder onto an existing folder", "/a/sub", "/b", "emptydir", true, kVKRFilePathExistsError},
      {"folder beside a name-sharing sibling", "/a", "/ab", "a", true, -1},
      {"missing source", "/a/none.txt", "/b", "x", true, kVKRFileNotFoundError},
      {"missing destination folder", "/a/file.txt", "/none", "x", true, kVKRFileNotFoundError},
      {"move file onto an existing file", "/a/file.txt", "/b", "existing.txt", false, -1},
      {"move file onto an empty folder", "/b/existing.txt", "/b", "emptydir", false,
       kVKRFileInvalidModificationError},
      {"move folder into itself", "/b", "/b/emptydir", "b", false,
       kVKRFileInvalidModificationError},
      {"move folder onto a full folder", "/ab", "/", "b", false, kVKRFileInvalidModificationError},
      {"move folder onto an empty folder", "/ab", "/b", "emptydir", false, -1},
      {"move the root away", "", "/b", "root", false, kVKRFileInvalidModificationError},
  };
  writeFile(root_ / "a/file.txt", "file");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "a/sub"));
  writeFile(root_ / "b/existing.txt", "existing");
  ASSERT_TRUE(FileManager::createDirectory(root_ / "b/emptydir"));
  ASSERT_TRUE(FileManager::createDirectory(root_ / "ab"));
  for (const Case& c : cases) {
    VKRPluginResult result = copy(c.source, c.destination, c.newName, c.copy);
    if (c.code < 0) {
      EXPECT_EQ(result.status(), kVKRCommandStatusOK) << c.name << ": " << codeOf(result);
    } else {
      EXPECT_EQ(result.status(), kVKRCommandStatusIOError) << c.name;
      EXPECT_EQ(codeOf(result), c.code) << c.name;
    }
  }
  EXPECT_EQ(readFile(root_ / "b/copy.txt"), "file");
  EXPECT_EQ(readFile(root_ / "b/existing.txt"), "file") << "the move replaced it";
  EXPECT_FALSE(fs::exists(root_ / "a/file.txt"));
  EXPECT_EQ(readFile(root_ / "b/emptydir/a/file.txt"), "file") << "the folder took its place";
  EXPECT_FALSE(fs::exists(root_ / "ab"));
  EXPECT_TRUE(fs::is_directory(root_ / "a/sub"));
}

TEST_F(VKRLocalFilesystemTest, CopyAnswersTheNewEntry) {
  writeFile(root_ / "dir/x.txt", "x");
  VKRPluginResult copied = copy("/dir", "", "copy", true);
  ASSERT_EQ(copied.status(), kVKRCommandStatusOK);
  EXPECT_EQ(copied.message()["fullPath"], Value("/copy/"));
  EXPECT_EQ(copied.message()["isDirectory"], Value(true));
  VKRPluginResult moved = copy("/copy/x.txt", "/dir", "y.txt", false);
  ASSERT_EQ(moved.status(), kVKRCommandStatusOK);
  EXPECT_EQ(moved.message()["fullPath"], Value("/dir/y.txt"));
  EXPECT_EQ(moved.message()["name"], Value("y.txt"));
}

// Two file systems over one folder (the persistent and documents ones may be): a move onto the
// same file through the other name must not remove it.
TEST_F(VKRLocalFilesystemTest, SameFileThroughAnotherFileSystemIsTheSource) {
  writeFile(root_ / "a.txt", "keep");
  auto other =
      std::make_shared<VKRLocalFilesystem>("documents", (base_ / "." / "persistent").string());
  for (bool isCopy : {true, false}) {
    std::optional<VKRPluginResult> answer;
    other->copyFileToURL(
        VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/documents/"), "a.txt", *fs_,
        url("/a.txt"), isCopy, [&](VKRPluginResult result) { answer = std::move(result); });
    ASSERT_TRUE(answer);
    EXPECT_EQ(codeOf(*answer), kVKRFileInvalidModificationError);
  }
  EXPECT_EQ(readFile(root_ / "a.txt"), "keep");
}

}  // namespace
