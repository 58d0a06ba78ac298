#include "Plugins/vokaru-plugin-file/vkr_filesystem_url_protocol.h"

#include <gtest/gtest.h>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/media/photo_library.h"
#include "platform/testing/test_app.h"
#include "platform/web/testing/recording_scheme_task.h"

namespace {

using platform::web::URLSchemeResponse;

class VKRFilesystemURLProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }

  URLSchemeResponse load(const std::string& url) {
    auto task = std::make_shared<platform::web::testing::RecordingSchemeTask>(url);
    VKRFilesystemURLProtocol::startLoading(task);
    std::optional<URLSchemeResponse> response = task->waitForResponse();
    EXPECT_EQ(task->answers(), 1);
    return response.value_or(URLSchemeResponse{});
  }

  platform::testing::TestApp app_;
  std::shared_ptr<vokaru::testing::RecordingCommandDelegate> delegate_ =
      std::make_shared<vokaru::testing::RecordingCommandDelegate>();
  std::shared_ptr<VKRFile> plugin_ = std::make_shared<VKRFile>(nullptr);
};

TEST_F(VKRFilesystemURLProtocolTest, ServesTheWholeFileWithItsType) {
  platform::testing::writeFile(app_.appHome() / "Documents/img/logo.png", "png bytes");
  URLSchemeResponse response = load("vkrfile://localhost/persistent/img/logo.png");
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(platform::stringOf(response.body), "png bytes");
  EXPECT_EQ(response.mimeType, "image/png");
  EXPECT_EQ(response.headers, (platform::web::HeaderList{{"Cache-Control", "no-cache"},
                                                         {"Content-Type", "image/png"}}));

  platform::Result<std::string> asset =
      platform::media::PhotoLibrary::writeAsset(platform::bytesOf("photo"), "jpg");
  ASSERT_TRUE(asset.ok());
  URLSchemeResponse photo = load("vkrfile://localhost/assets-library" +
                                 asset->substr(std::string("assets-library:/").size()));
  EXPECT_EQ(photo.statusCode, 200);
  EXPECT_EQ(platform::stringOf(photo.body), "photo");
  EXPECT_EQ(photo.mimeType, "image/jpeg");
}

TEST_F(VKRFilesystemURLProtocolTest, AnythingUnreadableIsNotFound) {
  platform::testing::writeFile(app_.appHome() / "secret.txt", "secret");
  for (const char* url : {
           "vkrfile://localhost/persistent/missing.png",
           "vkrfile://localhost/persistent/",
           "vkrfile://localhost/persistent/%2E%2E/secret.txt",
           "vkrfile://localhost/persistent/../secret.txt",
           "vkrfile://localhost/nothing/a.png",
           "vkrfile://elsewhere/persistent/a.png",
           "other://localhost/persistent/a.png",
       }) {
    URLSchemeResponse response = load(url);
    EXPECT_EQ(response.statusCode, 404) << url;
    EXPECT_TRUE(response.body.empty()) << url;
    EXPECT_EQ(response.headers, (platform::web::HeaderList{{"Cache-Control", "no-cache"}})) << url;
  }
}

}  // namespace
