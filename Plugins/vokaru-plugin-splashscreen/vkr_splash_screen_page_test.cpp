// The splash screen end to end: it covers the app at start, fades once the page has loaded, and
// comes and goes when the page asks.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/ui/image_view.h"

namespace {

using vokaru::testing::SharedPageHostTest;

// A short fade (0.2 s) with no wait before it.
constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <preference name="FadeSplashScreenDuration" value="0.2" />
  <preference name="SplashScreenDelay" value="200" />
  <feature name="SplashScreen">
    <param name="ios-package" value="VKRSplashScreen" />
    <param name="onload" value="true" />
  </feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-splashscreen/splashscreen.js"></script>
</head><body></body></html>)";

std::string sourceOf(const char* path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class SplashScreenPageTest : public SharedPageHostTest<SplashScreenPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {
        {"config.xml", kConfig},
        {"www/index.html", kPage},
        // Whatever the window's height, the image is 30 points wide.
        {"Default.png", platform::testing::pngOf(30, 60, 0x102030ff)},
        {"Default-667h.png", platform::testing::pngOf(30, 60, 0x102030ff)},
        {"www/plugins/vokaru-plugin-splashscreen/splashscreen.js", sourceOf(VKR_SPLASH_MODULE)}};
  }

 protected:
  // The splash's image view over the host's view, if it is there.
  std::shared_ptr<platform::ui::ImageView> splash() {
    for (const auto& view : host_->controller()->view()->subviews()) {
      if (auto image = std::dynamic_pointer_cast<platform::ui::ImageView>(view)) return image;
    }
    return nullptr;
  }
};

TEST_F(SplashScreenPageTest, CoversTheStartFadesAfterTheLoadAndFollowsThePage) {
  ASSERT_NE(host_, nullptr);
  // The page has loaded: the splash is fading or gone already.
  EXPECT_TRUE(platform::testing::runMainLoopUntil([&] { return !splash(); }));
  EXPECT_TRUE(host_->controller()->shouldAutorotate());
  EXPECT_TRUE(host_->controller()->view()->isUserInteractionEnabled());

  host_->eval("vokaru.splashscreen.show(); 'shown'");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return splash() != nullptr; }));
  auto image = splash();
  ASSERT_FALSE(image->imageFile().isEmpty());
  EXPECT_EQ(image->imageSize().width, 30);
  EXPECT_FALSE(host_->controller()->view()->isUserInteractionEnabled());

  host_->eval("vokaru.splashscreen.hide(); 'hidden'");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return image->alpha() < 1; }));
  EXPECT_TRUE(platform::testing::runMainLoopUntil([&] { return !splash(); }));
  EXPECT_TRUE(host_->controller()->view()->isUserInteractionEnabled());
}

}  // namespace
