// The camera end to end: a real page picks pictures from the photo library, as the user would.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/foundation/base64.h"
#include "platform/media/image_picker_controller.h"
#include "platform/media/photo_library.h"
#include "platform/media/picture.h"
#include "platform/storage/app_home.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"

namespace {

using platform::media::ImagePickerController;
using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="Camera"><param name="ios-package" value="VKRCamera" /></feature>
</widget>)";

// pick() keeps each answer under its name: "ok:<answer>" or "fail:<error>".
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-camera/camera.js"></script>
<script>
  var answers = {};
  function pick(name, options) {
    vokaru.camera.getPicture(options).then(function (answer) { answers[name] = 'ok:' + answer; },
                                           function (error) { answers[name] = 'fail:' + error; });
    return 'asked';
  }
</script></head><body></body></html>)";

std::string sourceOf(const char* path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class CameraPageTest : public SharedPageHostTest<CameraPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/plugins/vokaru-plugin-camera/camera.js", sourceOf(VKR_CAMERA_MODULE)}};
  }

 protected:
  void SetUp() override { resetPage("answers = {}"); }

  std::shared_ptr<ImagePickerController> shownPicker() {
    EXPECT_TRUE(platform::testing::runMainLoopUntil(
        [] { return !ImagePickerController::visiblePickers().empty(); }));
    auto pickers = ImagePickerController::visiblePickers();
    return pickers.empty() ? nullptr : pickers[0];
  }
};

TEST_F(CameraPageTest, PicturesArriveAsBase64OrTemporaryFilesUntilCleanedUp) {
  const auto library = platform::media::PhotoLibrary::folder() / "PAGE1.PNG";
  std::ofstream(library, std::ios::binary) << platform::testing::pngOf(64, 32, 0x208040ff);

  EXPECT_EQ(host_->eval("pick('camera', {})"), "asked");
  EXPECT_EQ(answer("camera"), "fail:No camera available");

  host_->eval(
      "pick('base64', {sourceType: 0, destinationType: 0, encodingType: 1, "
      "targetWidth: 16, targetHeight: 16})");
  auto picker = shownPicker();
  ASSERT_TRUE(picker);
  ASSERT_TRUE(picker->pick(library));
  const std::string base64 = answer("base64");
  ASSERT_TRUE(base64.starts_with("ok:"));
  std::optional<platform::Bytes> png = platform::base64Decode(base64.substr(3));
  ASSERT_TRUE(png);
  platform::Result<platform::media::Picture> picture = platform::media::Picture::decode(*png);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->size(), (platform::ui::Size{16, 8}));
  EXPECT_EQ(picture->pixel(8, 4), 0x208040ffu);

  host_->eval("pick('file', {sourceType: 0})");
  picker = shownPicker();
  ASSERT_TRUE(picker);
  ASSERT_TRUE(picker->pick(library));
  const auto written = platform::AppHome::temporary() / "vkr_photo_001.jpg";
  EXPECT_EQ(answer("file"), "ok:file://" + written.string());
  EXPECT_TRUE(std::filesystem::exists(written));

  host_->eval("pick('cancelled', {sourceType: 2})");
  picker = shownPicker();
  ASSERT_TRUE(picker);
  ASSERT_TRUE(picker->cancel());
  EXPECT_EQ(answer("cancelled"), "fail:no image selected");

  host_->eval("vokaru.camera.cleanup(function () { answers.cleanup = 'ok'; }); 'asked'");
  EXPECT_EQ(answer("cleanup"), "ok");
  EXPECT_FALSE(std::filesystem::exists(written));
}

}  // namespace
