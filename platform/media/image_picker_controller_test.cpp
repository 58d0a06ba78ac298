#include "platform/media/image_picker_controller.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/media/photo_library.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace platform::media {
namespace {

struct RecordingDelegate final : ImagePickerController::Delegate {
  void imagePickerDidFinishPicking(ImagePickerController&,
                                   const ImagePickerController::Info& info) override {
    picked.push_back(info);
  }
  void imagePickerDidCancel(ImagePickerController&) override { ++cancels; }
  std::vector<ImagePickerController::Info> picked;
  int cancels = 0;
};

class ImagePickerControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Application::resetShared();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    picker->setDelegate(delegate);
  }
  void TearDown() override {
    root->dismissViewController(false, nullptr);
    platform::testing::drainMainLoop();
    ui::Application::resetShared();
  }

  std::filesystem::path write(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

  platform::testing::TestApp app;
  std::shared_ptr<ui::Window> window = std::make_shared<ui::Window>();
  std::shared_ptr<ui::ViewController> root = std::make_shared<ui::ViewController>();
  std::shared_ptr<ImagePickerController> picker = std::make_shared<ImagePickerController>();
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(ImagePickerControllerTest, OnlyTheLibrarySourcesExist) {
  using S = ImagePickerSourceType;
  EXPECT_TRUE(ImagePickerController::isSourceTypeAvailable(S::PhotoLibrary));
  EXPECT_TRUE(ImagePickerController::isSourceTypeAvailable(S::SavedPhotosAlbum));
  EXPECT_FALSE(ImagePickerController::isSourceTypeAvailable(S::Camera));
  EXPECT_TRUE(ImagePickerController::availableMediaTypesForSourceType(S::Camera).empty());
  EXPECT_EQ(ImagePickerController::availableMediaTypesForSourceType(S::PhotoLibrary).size(), 2u);
}

TEST_F(ImagePickerControllerTest, APickedLibraryPictureComesWithItsAssetURL) {
  const auto picture =
      write(picker->folder() / "0A1B.PNG", platform::testing::pngOf(3, 2, 0x102030ff));
  EXPECT_FALSE(picker->pick(picture));  // not shown yet
  ASSERT_TRUE(root->presentViewController(picker, true, nullptr));
  ASSERT_EQ(ImagePickerController::visiblePickers().size(), 1u);

  ASSERT_TRUE(picker->pick(picture));
  ASSERT_EQ(delegate->picked.size(), 1u);
  const auto& info = delegate->picked[0];
  EXPECT_EQ(info.mediaType, kMediaTypeImage);
  ASSERT_TRUE(info.originalImage);
  EXPECT_EQ(info.originalImage->size(), (ui::Size{3, 2}));
  EXPECT_EQ(info.referenceURL, "assets-library://asset/asset.PNG?id=0A1B&ext=PNG");
  EXPECT_FALSE(info.mediaURL);
  // The delegate dismisses the picker; until then it stays.
  EXPECT_TRUE(picker->isVisible());
  root->dismissViewController(true, nullptr);
  EXPECT_TRUE(ImagePickerController::visiblePickers().empty());
  EXPECT_FALSE(picker->cancel());
}

TEST_F(ImagePickerControllerTest, FilesThePickerCannotOfferAreRefusedAndItStays) {
  platform::testing::TempDir elsewhere;
  const auto text = write(elsewhere.path() / "notes.png", "not a picture");
  const auto video = write(elsewhere.path() / "clip.mp4", "video bytes");
  const auto outside = write(elsewhere.path() / "outside.png", platform::testing::pngOf(1, 1, 0));
  ASSERT_TRUE(root->presentViewController(picker, false, nullptr));

  for (const auto& file : {text, video, elsewhere.path() / "missing.png"}) {
    Status picked = picker->pick(file);
    ASSERT_FALSE(picked) << file;
    EXPECT_EQ(picked.error().code(), kImagePickerUnsupportedFile);
  }
  EXPECT_TRUE(delegate->picked.empty());
  // A picture from outside the library has no asset URL.
  ASSERT_TRUE(picker->pick(outside));
  EXPECT_FALSE(delegate->picked.back().referenceURL);

  // Videos when asked for: their file URL.
  picker->setMediaTypes({kMediaTypeMovie});
  ASSERT_TRUE(picker->pick(video));
  EXPECT_EQ(delegate->picked.back().mediaType, kMediaTypeMovie);
  EXPECT_EQ(delegate->picked.back().mediaURL, "file://" + video.string());
  EXPECT_FALSE(picker->pick(outside));

  EXPECT_TRUE(picker->cancel());
  EXPECT_EQ(delegate->cancels, 1);
}

}  // namespace
}  // namespace platform::media
