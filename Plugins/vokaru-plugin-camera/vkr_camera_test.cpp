#include "Plugins/vokaru-plugin-camera/vkr_camera.h"

#include <gtest/gtest.h>

#include <fstream>

#include "VokaruLib/testing/recording_command_delegate.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/url.h"
#include "platform/media/photo_library.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace {

namespace fs = std::filesystem;
using platform::Value;
using platform::media::ImagePickerController;
using platform::media::PhotoLibrary;
using platform::media::PhotoLibraryAuthorization;
using platform::media::Picture;
using platform::testing::runMainLoopUntil;
using vokaru::testing::RecordingCommandDelegate;

constexpr const char* kConfig = R"(<?xml version="1.0"?><widget><content src="index.html"/>
<feature name="Camera"><param name="ios-package" value="VKRCamera"/></feature></widget>)";

class VKRCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    window_->setRootViewController(host_.controller);
    window_->makeKeyAndVisible();
    plugin_->setCommandDelegate(delegate_);
    plugin_->setViewController(host_.controller);
    picture_ =
        writeFile(PhotoLibrary::folder() / "P1.PNG", platform::testing::pngOf(8, 4, 0x2040a0ff));
  }
  void TearDown() override {
    for (const auto& picker : ImagePickerController::visiblePickers()) picker->cancel();
    platform::testing::drainMainLoop();
    PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Authorized);
    window_.reset();
    platform::ui::Application::resetShared();
  }

  static fs::path writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  void takePicture(Value::Array arguments) {
    ASSERT_TRUE(plugin_->performAction(
        "takePicture",
        VKRInvokedUrlCommand(std::move(arguments), "Camera" + std::to_string(++calls_), "Camera",
                             "takePicture")));
    EXPECT_TRUE(plugin_->hasPendingOperation());
  }

  std::shared_ptr<ImagePickerController> shownPicker() {
    EXPECT_TRUE(runMainLoopUntil([] { return !ImagePickerController::visiblePickers().empty(); }));
    auto pickers = ImagePickerController::visiblePickers();
    return pickers.empty() ? nullptr : pickers[0];
  }

  // Takes a picture with the arguments, picks the file and answers the one result.
  RecordingCommandDelegate::Sent pick(Value::Array arguments, const fs::path& file) {
    const size_t before = delegate_->sent().size();
    takePicture(std::move(arguments));
    auto picker = shownPicker();
    if (!picker) return {};
    EXPECT_TRUE(picker->pick(file));
    return answer(before);
  }

  RecordingCommandDelegate::Sent answer(size_t before) {
    EXPECT_TRUE(delegate_->waitForResults(before + 1));
    auto sent = delegate_->sent();
    EXPECT_EQ(sent.size(), before + 1);
    EXPECT_TRUE(runMainLoopUntil([&] { return !plugin_->hasPendingOperation(); }));
    EXPECT_FALSE(plugin_->pickerController());
    EXPECT_TRUE(ImagePickerController::visiblePickers().empty());
    return sent.empty() ? RecordingCommandDelegate::Sent{} : sent.back();
  }

  static std::string text(const RecordingCommandDelegate::Sent& sent) {
    return sent.result.message().stringOr("");
  }

  vokaru::testing::TestController host_{kConfig};
  std::shared_ptr<platform::ui::Window> window_ = std::make_shared<platform::ui::Window>();
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRCamera> plugin_ = std::make_shared<VKRCamera>(nullptr);
  fs::path picture_;
  int calls_ = 0;
};

TEST_F(VKRCameraTest, TheCameraIsNotAvailable) {
  platform::testing::LogCapture log;
  takePicture({});  // the camera is the default source
  ASSERT_TRUE(delegate_->waitForResults(1));
  EXPECT_EQ(delegate_->sent()[0].result.status(), kVKRCommandStatusError);
  EXPECT_EQ(text(delegate_->sent()[0]), "No camera available");
  EXPECT_EQ(delegate_->sent()[0].callbackId, "Camera1");
  EXPECT_TRUE(runMainLoopUntil([&] { return !plugin_->hasPendingOperation(); }));
  EXPECT_TRUE(log.contains("Camera.getPicture: source type 1 not available."));
  EXPECT_TRUE(ImagePickerController::visiblePickers().empty());
}

TEST_F(VKRCameraTest, FileURLsNameTemporaryPicturesUntilCleanupRemovesThem) {
  const fs::path tmp = platform::AppHome::temporary();
  const Value::Array jpegFromLibrary{80, 1, 0, 4, 4};
  auto first = pick(jpegFromLibrary, picture_);
  EXPECT_EQ(first.result.status(), kVKRCommandStatusOK);
  EXPECT_EQ(text(first), "file://" + (tmp / "vkr_photo_001.jpg").string());
  auto second = pick(jpegFromLibrary, picture_);
  EXPECT_EQ(text(second), "file://" + (tmp / "vkr_photo_002.jpg").string());
  // Scaled to fit 4 x 4.
  platform::Result<Picture> written = Picture::readFile(tmp / "vkr_photo_002.jpg");
  ASSERT_TRUE(written);
  EXPECT_EQ(written->size(), (platform::ui::Size{4, 2}));

  writeFile(tmp / "other.txt", "kept");
  ASSERT_TRUE(
      plugin_->performAction("cleanup", VKRInvokedUrlCommand({}, "C", "Camera", "cleanup")));
  ASSERT_TRUE(delegate_->waitForResults(3));
  EXPECT_EQ(delegate_->sent()[2].result.status(), kVKRCommandStatusOK);
  EXPECT_FALSE(fs::exists(tmp / "vkr_photo_001.jpg"));
  EXPECT_FALSE(fs::exists(tmp / "vkr_photo_002.jpg"));
  EXPECT_TRUE(fs::exists(tmp / "other.txt"));

  auto png = pick({Value(), 1, 0, Value(), Value(), 1}, picture_);
  EXPECT_EQ(text(png), "file://" + (tmp / "vkr_photo_001.png").string());
}

TEST_F(VKRCameraTest, Base64AnswersCarryThePictureAsEncoded) {
  delegate_->setUrlTransformer([](const std::string& url) { return url + "#seen"; });
  auto png = pick({100, 0, 2, Value(), Value(), 1}, picture_);
  EXPECT_EQ(png.result.status(), kVKRCommandStatusOK);
  std::optional<platform::Bytes> data = platform::base64Decode(text(png));
  ASSERT_TRUE(data);
  platform::Result<Picture> decoded = Picture::decode(*data);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixel(3, 3), 0x2040a0ffu);
  EXPECT_EQ(text(png).find("data:"), std::string::npos);
}

TEST_F(VKRCameraTest, AssetURLsNameTheLibrarysPictureOrANewOne) {
  delegate_->setUrlTransformer([](const std::string& url) { return url + "#seen"; });
  auto fromLibrary = pick({50, 2, 0}, picture_);
  EXPECT_EQ(text(fromLibrary), "assets-library://asset/asset.PNG?id=P1&ext=PNG#seen");

  platform::testing::TempDir elsewhere;
  const fs::path outside =
      writeFile(elsewhere.path() / "outside.png", platform::testing::pngOf(2, 2, 0xffffffff));
  auto saved = pick({50, 2, 0}, outside);
  EXPECT_EQ(saved.result.status(), kVKRCommandStatusOK);
  EXPECT_TRUE(text(saved).starts_with("assets-library://asset/asset.JPG?id="));
  EXPECT_EQ(platform::FileManager::contentsOfDirectory(PhotoLibrary::folder())->size(), 2u);

  // Refused by the library: the album write fails with its description.
  PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Denied);
  const size_t before = delegate_->sent().size();
  takePicture({50, 2, 0});
  auto picker = shownPicker();
  ASSERT_TRUE(picker);
  ASSERT_TRUE(picker->pick(outside));
  auto refused = answer(before);
  EXPECT_EQ(refused.result.status(), kVKRCommandStatusIOError);
  EXPECT_EQ(text(refused), "The user has denied this application access to the photos.");
}

TEST_F(VKRCameraTest, SavingToTheAlbumAddsACopy) {
  auto answered = pick({50, 1, 0, Value(), Value(), 0, 0, false, false, true}, picture_);
  EXPECT_EQ(answered.result.status(), kVKRCommandStatusOK);
  EXPECT_TRUE(runMainLoopUntil([] {
    return platform::FileManager::contentsOfDirectory(PhotoLibrary::folder())->size() == 2;
  }));
}

TEST_F(VKRCameraTest, VideosAnswerTheirURLAndCancelsSayWhy) {
  const fs::path video = writeFile(PhotoLibrary::folder() / "V1.MP4", "video");
  auto answered = pick({50, 0, 0, Value(), Value(), 0, 1}, video);
  EXPECT_EQ(answered.result.status(), kVKRCommandStatusOK);
  EXPECT_EQ(text(answered), "file://" + video.string());

  for (auto [authorization, message] :
       {std::pair{PhotoLibraryAuthorization::Authorized, "no image selected"},
        std::pair{PhotoLibraryAuthorization::Denied, "has no access to assets"}}) {
    PhotoLibrary::setAuthorizationStatus(authorization);
    const size_t before = delegate_->sent().size();
    takePicture({50, 1, 2});
    auto picker = shownPicker();
    ASSERT_TRUE(picker);
    ASSERT_TRUE(picker->cancel());
    auto cancelled = answer(before);
    EXPECT_EQ(cancelled.result.status(), kVKRCommandStatusError);
    EXPECT_EQ(text(cancelled), message);
  }
}

TEST_F(VKRCameraTest, ThePickerFollowsTheOptionsMediaType) {
  struct Case {
    Value::Array arguments;
    std::vector<std::string> mediaTypes;
  };
  using platform::media::kMediaTypeImage, platform::media::kMediaTypeMovie;
  for (const Case& c : {Case{{50, 1, 0, 0, 0, 0, 0}, {kMediaTypeImage}},
                        Case{{50, 1, 0, 0, 0, 0, 1}, {kMediaTypeMovie}},
                        Case{{50, 1, 2, 0, 0, 0, 2}, {kMediaTypeImage, kMediaTypeMovie}},
                        Case{{50, 1, 1, 0, 0, 0, 2}, {kMediaTypeImage}}}) {
    VKRPictureOptions options = VKRPictureOptions::createFromTakePictureArguments(
        VKRInvokedUrlCommand(c.arguments, "x", "Camera", "takePicture"));
    EXPECT_EQ(VKRCameraPicker::createFromPictureOptions(options)->mediaTypes(), c.mediaTypes);
  }
}

}  // namespace
