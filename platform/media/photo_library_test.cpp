#include "platform/media/photo_library.h"

#include <gtest/gtest.h>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace platform::media {
namespace {

using platform::testing::runMainLoopUntil;

// What one lookup answered, and on which thread.
struct Answer {
  platform::Mutex mutex;
  bool done VKR_GUARDED_BY(mutex) = false;
  // Written under the mutex before `done`; the test reads them once it saw `done`.
  bool onMainThread = true;
  std::optional<PhotoAsset> asset;
  std::optional<Error> error;
};

class PhotoLibraryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Authorized);
  }

  std::shared_ptr<Answer> lookUp(const std::string& url) {
    auto answer = std::make_shared<Answer>();
    PhotoLibrary::assetForURL(
        url,
        [answer](std::optional<PhotoAsset> asset) {
          platform::MutexLock lock(answer->mutex);
          answer->asset = std::move(asset);
          answer->onMainThread = isMainThread();
          answer->done = true;
        },
        [answer](const Error& error) {
          platform::MutexLock lock(answer->mutex);
          answer->error = error;
          answer->onMainThread = isMainThread();
          answer->done = true;
        });
    EXPECT_TRUE(runMainLoopUntil([&] {
      platform::MutexLock lock(answer->mutex);
      return answer->done;
    }));
    return answer;
  }

  platform::testing::TestApp app_;
};

TEST_F(PhotoLibraryTest, StoredAssetIsFoundByItsURLOffTheMainThread) {
  Result<std::string> url = PhotoLibrary::writeAsset(bytesOf("0123456789abcdefghij"), "jpg");
  ASSERT_TRUE(url.ok()) << url.error().description();
  EXPECT_TRUE(url->starts_with("assets-library://asset/asset.JPG?id=")) << *url;
  EXPECT_TRUE(url->ends_with("&ext=JPG")) << *url;

  std::shared_ptr<Answer> answer = lookUp(*url);
  ASSERT_TRUE(answer->asset);
  EXPECT_FALSE(answer->onMainThread);
  const PhotoAsset& asset = *answer->asset;
  EXPECT_EQ(asset.url(), *url);
  EXPECT_EQ(asset.size(), 20u);
  EXPECT_EQ(asset.mimeType(), "image/jpeg");
  EXPECT_TRUE(asset.filename().ends_with(".JPG"));
  EXPECT_GT(asset.date().secondsSince1970, 0);
  EXPECT_TRUE(std::filesystem::exists(PhotoLibrary::folder() / asset.filename()));

  const std::pair<std::pair<uint64_t, uint64_t>, const char*> ranges[] = {
      {{0, 100}, "0123456789abcdefghij"},
      {{10, 5}, "abcde"},
      {{18, 10}, "ij"},
      {{20, 4}, ""},
      {{1000, 4}, ""},
  };
  for (const auto& [range, expected] : ranges) {
    Result<Bytes> bytes = asset.bytes(range.first, range.second);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(stringOf(*bytes), expected) << range.first << "+" << range.second;
  }
}

TEST_F(PhotoLibraryTest, URLsThatNameNoStoredAssetFindNothing) {
  platform::testing::writeFile(PhotoLibrary::folder() / ".." / "secret.JPG", "outside");
  for (const char* url : {
           "assets-library://asset/asset.JPG?id=0000&ext=JPG",
           "assets-library://asset/asset.JPG?id=../secret&ext=JPG",
           "assets-library://asset/asset.JPG?id=%2E%2E%2Fsecret&ext=JPG",
           "assets-library://asset/asset.JPG?ext=JPG",
           "assets-library://other/asset.JPG?id=1&ext=JPG",
           "file:///etc/passwd",
           "not a url %",
       }) {
    std::shared_ptr<Answer> answer = lookUp(url);
    EXPECT_FALSE(answer->asset) << url;
    EXPECT_FALSE(answer->error) << url;
  }
}

TEST_F(PhotoLibraryTest, RefusedAccessFailsLookupsAndWrites) {
  Result<std::string> url = PhotoLibrary::writeAsset(bytesOf("x"), "png");
  ASSERT_TRUE(url.ok());
  PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Denied);

  std::shared_ptr<Answer> answer = lookUp(*url);
  ASSERT_TRUE(answer->error);
  EXPECT_EQ(answer->error->domain(), kPhotoLibraryErrorDomain);
  EXPECT_EQ(answer->error->code(), kPhotoLibraryAccessDenied);
  EXPECT_FALSE(answer->asset);

  Result<std::string> refused = PhotoLibrary::writeAsset(bytesOf("x"), "png");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().code(), kPhotoLibraryAccessDenied);
}

TEST_F(PhotoLibraryTest, WriteRefusesExtensionsThatAreNotPlainNames) {
  for (const char* extension : {"", "../x", "a.b", "j/p"}) {
    Result<std::string> url = PhotoLibrary::writeAsset(bytesOf("x"), extension);
    ASSERT_FALSE(url.ok()) << extension;
    EXPECT_EQ(url.error().code(), kPhotoLibraryWriteFailed);
  }
}

}  // namespace
}  // namespace platform::media
