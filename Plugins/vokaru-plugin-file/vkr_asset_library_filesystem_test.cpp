#include "Plugins/vokaru-plugin-file/vkr_asset_library_filesystem.h"

#include <gtest/gtest.h>

#include <mutex>

#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"
#include "platform/dispatch/queue.h"
#include "platform/media/photo_library.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Dictionary;
using platform::Value;
using platform::media::PhotoLibrary;
using platform::media::PhotoLibraryAuthorization;
using platform::testing::runMainLoopUntil;

// One answer from the library's thread.
template <typename T>
class Awaited {
 public:
  void set(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
    ++calls_;
    onMainThread_ = platform::isMainThread();
  }
  // Waits for the answer; then gives it.
  T get() {
    EXPECT_TRUE(runMainLoopUntil([&] {
      std::lock_guard lock(mutex_);
      return calls_ > 0;
    }));
    std::lock_guard lock(mutex_);
    EXPECT_EQ(calls_, 1);
    EXPECT_FALSE(onMainThread_) << "answered on the library's thread";
    return value_;
  }

 private:
  std::mutex mutex_;
  T value_{};
  int calls_ = 0;
  bool onMainThread_ = true;
};

struct Read {
  std::optional<std::string> text;
  std::optional<std::string> mimeType;
  int32_t error = -1;
};

class VKRAssetLibraryFilesystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Result<std::string> url =
        PhotoLibrary::writeAsset(platform::bytesOf("0123456789abcdefghijklmnopqrstuvwxyz"), "jpg");
    ASSERT_TRUE(url.ok());
    assetURL_ = *url;
  }
  void TearDown() override {
    PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Authorized);
  }

  Read read(const std::string& url, int64_t start, int64_t end) {
    auto answer = std::make_shared<Awaited<Read>>();
    fs_->readFileAtURL(
        VKRFilesystemURL::fileSystemURLWithString(url), start, end,
        [answer](std::optional<platform::Bytes> data, std::optional<std::string> mimeType,
                 int32_t error) {
          answer->set(
              {data ? std::optional(platform::stringOf(*data)) : std::nullopt, mimeType, error});
        });
    return answer->get();
  }

  VKRPluginResult metadata(const std::string& url) {
    auto answer = std::make_shared<Awaited<VKRPluginResult>>();
    fs_->getFileMetadataForURL(
        VKRFilesystemURL::fileSystemURLWithString(url),
        [answer](VKRPluginResult result) { answer->set(std::move(result)); });
    return answer->get();
  }

  // The same asset through the file plugin's own URL form.
  std::string localForm() const {
    return "vkrfile://localhost/assets-library" +
           assetURL_.substr(std::string("assets-library:/").size());
  }

  platform::testing::TestApp app_;
  std::string assetURL_;
  std::shared_ptr<VKRAssetLibraryFilesystem> fs_ =
      std::make_shared<VKRAssetLibraryFilesystem>("assets-library");
};

TEST_F(VKRAssetLibraryFilesystemTest, EntriesAreFilesNamedAsTheAssetURLSays) {
  const VKRFilesystemURL url =
      VKRFilesystemURL::fileSystemURLWithString("assets-library://asset/asset.JPG?id=1&ext=JPG");
  VKRPluginResult result = fs_->entryForLocalURI(url);
  ASSERT_EQ(result.status(), kVKRCommandStatusOK);
  EXPECT_EQ(result.message(), Value(Dictionary{
                                  {"isFile", true},
                                  {"isDirectory", false},
                                  {"fullPath", "/asset/asset.JPG?id=1&ext=JPG"},
                                  {"name", "asset.JPG?id=1&ext=JPG"},
                                  {"filesystemName", "assets-library"},
                                  {"nativeURL", "assets-library://asset/asset.JPG?id=1&ext=JPG"},
                              }));
  EXPECT_EQ(VKRAssetLibraryFilesystem::assetLibraryURLForLocalURL(
                VKRFilesystemURL::fileSystemURLWithString(localForm())),
            assetURL_);
  EXPECT_EQ(fs_->filesystemPathForURL(url), std::nullopt);
}

TEST_F(VKRAssetLibraryFilesystemTest, ReadsTheAssetInEitherURLFormWithClampedRanges) {
  struct Case {
    int64_t start, end;
    const char* text;
  };
  const Case cases[] = {
      {0, -1, "0123456789abcdefghijklmnopqrstuvwxyz"},
      {10, 20, "abcdefghij"},
      {30, 100, "uvwxyz"},
      {20, 10, "klmnopqrstuvwxyz"},  // no range: from the start to the end
      {-5, 3, "012"},
      {36, -1, ""},
      {1000, -1, ""},
  };
  for (const std::string& url : {assetURL_, localForm()}) {
    for (const Case& c : cases) {
      Read answer = read(url, c.start, c.end);
      EXPECT_EQ(answer.error, 0) << url << " " << c.start << ".." << c.end;
      EXPECT_EQ(answer.text, c.text) << url << " " << c.start << ".." << c.end;
      EXPECT_EQ(answer.mimeType, "image/jpeg");
    }
  }
}

TEST_F(VKRAssetLibraryFilesystemTest, MissingAssetsAndRefusedAccess) {
  Read missing = read("assets-library://asset/asset.JPG?id=0&ext=JPG", 0, -1);
  EXPECT_EQ(missing.error, kVKRFileNotFoundError);
  EXPECT_FALSE(missing.text);
  EXPECT_EQ(metadata("assets-library://asset/asset.JPG?id=0&ext=JPG").message(),
            Value(kVKRFileNotFoundError));

  PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Denied);
  platform::testing::LogCapture log;
  Read refused = read(assetURL_, 0, -1);
  EXPECT_EQ(refused.error, kVKRFileSecurityError);
  EXPECT_FALSE(refused.text);
  EXPECT_TRUE(log.contains("Error: "));
  VKRPluginResult metadataRefused = metadata(assetURL_);
  EXPECT_EQ(metadataRefused.status(), kVKRCommandStatusIOError);
  EXPECT_EQ(metadataRefused.message(),
            Value("The user has denied this application access to the photos."));
}

TEST_F(VKRAssetLibraryFilesystemTest, MetadataOfAnAsset) {
  VKRPluginResult result = metadata(localForm());
  ASSERT_EQ(result.status(), kVKRCommandStatusOK);
  const Value& message = result.message();
  EXPECT_EQ(message["size"], Value(36));
  EXPECT_EQ(message["fullPath"], Value(assetURL_.substr(std::string("assets-library:/").size())));
  EXPECT_TRUE(message["name"].stringOr("").ends_with(".JPG"));
  EXPECT_EQ(message["type"], Value("image/jpeg"));
  EXPECT_GT(message["lastModifiedDate"].doubleOr(0), 1e12);
}

TEST_F(VKRAssetLibraryFilesystemTest, RefusesEveryChangeAndListing) {
  const VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithString(assetURL_);
  struct Case {
    const char* name;
    VKRPluginResult result;
    int32_t status;
    Value message;
  };
  const Case cases[] = {
      {"getFile", fs_->getFileForURL(url, "x", {}), kVKRCommandStatusMalformedUrl,
       "getFile not supported for assets-library URLs."},
      {"getParent", fs_->getParentForURL(url), kVKRCommandStatusIOError, kVKRFileNotReadableError},
      {"setMetadata", fs_->setMetadataForURL(url, {{"com.apple.MobileBackup", 1}}),
       kVKRCommandStatusError, Value()},
      {"remove", fs_->removeFileAtURL(url), kVKRCommandStatusIOError,
       kVKRFileInvalidModificationError},
      {"removeRecursively", fs_->recursiveRemoveFileAtURL(url), kVKRCommandStatusMalformedUrl,
       "removeRecursively not supported for assets-library URLs."},
      {"readEntries", fs_->readEntriesAtURL(url), kVKRCommandStatusMalformedUrl,
       "readEntries not supported for assets-library URLs."},
      {"truncate", fs_->truncateFileAtURL(url, 0), kVKRCommandStatusIOError,
       kVKRFileNoModificationAllowedError},
      {"write", fs_->writeToFileAtURL(url, platform::bytesOf("x"), true), kVKRCommandStatusIOError,
       kVKRFileNoModificationAllowedError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.status(), c.status) << c.name;
    EXPECT_EQ(c.result.message(), c.message) << c.name;
  }
  std::optional<VKRPluginResult> copied;
  VKRLocalFilesystem local("temporary", app_.appHome().string());
  fs_->copyFileToURL(url, "x", local,
                     VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/temporary/a"),
                     true, [&](VKRPluginResult result) { copied = std::move(result); });
  ASSERT_TRUE(copied);
  EXPECT_EQ(copied->message(), Value(kVKRFileInvalidModificationError));
}

// A local file system copies an asset in as a file; a move does the same and leaves the library
// as it was.
TEST_F(VKRAssetLibraryFilesystemTest, CopiedOrMovedIntoAFolderAsAFile) {
  auto local = std::make_shared<VKRLocalFilesystem>("persistent", app_.appHome().string());
  for (bool copy : {true, false}) {
    const std::string name = copy ? "copied.jpg" : "moved.jpg";
    auto answer = std::make_shared<Awaited<VKRPluginResult>>();
    local->copyFileToURL(
        VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/persistent/"), name, *fs_,
        VKRFilesystemURL::fileSystemURLWithString(assetURL_), copy,
        [answer](VKRPluginResult result) { answer->set(std::move(result)); });
    VKRPluginResult result = answer->get();
    ASSERT_EQ(result.status(), kVKRCommandStatusOK) << name;
    EXPECT_EQ(result.message()["fullPath"], Value("/" + name));
    EXPECT_EQ(result.message()["isFile"], Value(true));
    EXPECT_EQ(platform::testing::readFile(app_.appHome() / name),
              "0123456789abcdefghijklmnopqrstuvwxyz");
  }
  EXPECT_EQ(read(assetURL_, 0, 3).text, "012");

  auto missing = std::make_shared<Awaited<VKRPluginResult>>();
  local->copyFileToURL(
      VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/persistent/"), "none.jpg",
      *fs_,
      VKRFilesystemURL::fileSystemURLWithString("assets-library://asset/asset.JPG?id=0&ext=JPG"),
      true, [missing](VKRPluginResult result) { missing->set(std::move(result)); });
  EXPECT_EQ(missing->get().message(), Value(kVKRFileNotFoundError));
}

}  // namespace
