#include "Plugins/vokaru-plugin-splashscreen/vkr_splash_screen.h"

#include <gtest/gtest.h>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace {

using platform::Dictionary;
using platform::testing::runMainLoopUntil;
using vokaru::testing::RecordingCommandDelegate;

TEST(VKRSplashScreenTimingTest, PreferencesSetTheWaitAndTheFade) {
  struct Case {
    Dictionary settings;
    double wait, fade;
  };
  const Case cases[] = {
      {{}, 0, 3},
      {{{"fadesplashscreenduration", 2}}, 1, 2},
      {{{"fadesplashscreenduration", "2000"}}, 1, 2},
      {{{"splashscreendelay", 5500}}, 2, 3},
      {{{"splashscreendelay", 1000}}, 0, 3},  // a negative wait is none
      {{{"autohidesplashscreen", "false"}}, 3, 3},
      {{{"autohidesplashscreen", false}, {"fadesplashscreenduration", 2.5}}, 2, 2.5},
      {{{"fadesplashscreen", "false"}, {"splashscreendelay", 0}}, 0, 0},
      {{{"fadesplashscreen", "false"}}, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::describe(platform::Value(c.settings)));
    const VKRSplashScreen::HideTiming timing = VKRSplashScreen::hideTiming(c.settings);
    EXPECT_DOUBLE_EQ(platform::toSeconds(timing.wait), c.wait);
    EXPECT_DOUBLE_EQ(platform::toSeconds(timing.fade), c.fade);
  }
}

TEST(VKRSplashScreenImageTest, TheLaunchImageIsNamedForTheDevice) {
  auto phone = [](int height) {
    VKRSplashScreenDevice d;
    d.phone = true;
    d.phone480 = height == 480;
    d.phone568 = height == 568;
    d.phone667 = height == 667;
    d.phone736 = height == 736;
    return d;
  };
  VKRSplashScreenDevice tablet;
  tablet.tablet = true;
  const unsigned both = 6 | 24, portrait = 2, landscape = 8;
  struct Case {
    std::optional<std::string> file;
    VKRSplashScreenDevice device;
    int64_t orientation;
    unsigned supported;
    std::string name;
  };
  const Case cases[] = {
      {"LaunchImage.png", phone(667), 1, both, "LaunchImage-800-667h"},
      {"LaunchImage", phone(568), 1, both, "LaunchImage-700-568h"},
      {std::nullopt, phone(568), 1, both, "Default-568h"},
      {std::nullopt, phone(480), 1, both, "Default"},
      {std::nullopt, phone(1024), 1, both, "Default"},
      {std::nullopt, tablet, 3, both, "Default-Landscape"},
      {std::nullopt, tablet, 1, both, "Default-Portrait"},
      {std::nullopt, tablet, 1, landscape, "Default-Landscape"},
      {"LaunchImage", tablet, 1, portrait, "LaunchImage-700-Portrait"},
      {"LaunchImage", phone(736), 1, both, "LaunchImage-800-Portrait-736h"},
      {std::nullopt, phone(736), 4, both, "Default-Landscape-736h"},
      {std::nullopt, phone(736), 1, landscape, "Default-Landscape-736h"},
      {"Splash.jpg", phone(667), 1, both, "Splash-667h"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VKRSplashScreen::getImageName(c.orientation, c.supported, c.device, c.file), c.name);
  }
}

constexpr const char* kConfig = R"(<?xml version="1.0"?><widget><content src="index.html"/>
<feature name="SplashScreen"><param name="ios-package" value="VKRSplashScreen"/></feature>
</widget>)";

class VKRSplashScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    platform::ui::Screen::main().setBounds({0, 0, 375, 667});
    window_->setRootViewController(host_.controller);
    window_->makeKeyAndVisible();
  }
  void TearDown() override {
    plugin_.reset();
    platform::testing::drainMainLoop();
    window_.reset();
    platform::ui::Application::resetShared();
  }

  void start(Dictionary settings) {
    delegate_->setSettings(std::move(settings));
    plugin_ = std::make_shared<VKRSplashScreen>(nullptr);
    plugin_->setCommandDelegate(delegate_);
    plugin_->setViewController(host_.controller);
    plugin_->pluginInitialize();
  }

  // Moves the clock on and lets the timers due run.
  void advance(double seconds) {
    clock_.advanceSeconds(seconds);
    platform::testing::drainMainLoop();
  }

  platform::ManualClock clock_;
  vokaru::testing::TestController host_{kConfig};
  std::shared_ptr<platform::ui::Window> window_ = std::make_shared<platform::ui::Window>();
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRSplashScreen> plugin_;
};

TEST_F(VKRSplashScreenTest, CoversTheHostFromStartUntilThePageLoadedThenFades) {
  // A 667-point phone screen: the image for it, 20 x 40 pixels, scaled to cover the view.
  host_.app.writeBundleFile("Default-667h.png", platform::testing::pngOf(20, 40, 0x336699ff));
  start({});
  auto view = host_.controller->view();
  auto image = plugin_->imageView();
  auto spinner = plugin_->activityView();
  ASSERT_TRUE(image && spinner);
  EXPECT_EQ(image->superview(), view);
  EXPECT_EQ(spinner->superview(), view);
  EXPECT_EQ(view->subviews().back(), spinner);  // above the image
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_EQ(spinner->style(), platform::ui::ActivityIndicatorStyle::Gray);
  EXPECT_EQ(spinner->center(), view->bounds().center());
  ASSERT_FALSE(image->imageFile().isEmpty());
  EXPECT_EQ(image->frame().origin, (platform::ui::Point{0, 0}));
  EXPECT_GE(image->frame().width(), view->bounds().width());
  EXPECT_GE(image->frame().height(), view->bounds().height());
  EXPECT_FALSE(view->isUserInteractionEnabled());
  EXPECT_FALSE(host_.controller->shouldAutorotate());

  platform::NotificationCenter::defaultCenter().post(VKRPageDidLoadNotification, nullptr);
  EXPECT_FALSE(plugin_->isVisible());
  advance(0);    // no wait by default,
  advance(1.5);  // then a fade of 3 s
  EXPECT_NEAR(image->alpha(), 0.5, 0.02);
  EXPECT_NEAR(spinner->alpha(), 0.5, 0.02);
  EXPECT_EQ(image->superview(), view);
  advance(1.6);
  EXPECT_FALSE(plugin_->imageView());
  EXPECT_EQ(image->superview(), nullptr);
  EXPECT_EQ(spinner->superview(), nullptr);
  EXPECT_TRUE(view->isUserInteractionEnabled());
  EXPECT_TRUE(host_.controller->shouldAutorotate());
}

TEST_F(VKRSplashScreenTest, WithoutAutoHideItStaysUntilThePageHidesIt) {
  platform::testing::LogCapture log;
  start({{"autohidesplashscreen", "false"},
         {"topactivityindicator", "whiteLarge"},
         {"fadesplashscreenduration", 2}});
  auto image = plugin_->imageView();
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->imageFile().isEmpty());
  EXPECT_TRUE(log.contains("WARNING: The splashscreen image named Default-667h was not found"));
  EXPECT_EQ(plugin_->activityView()->style(), platform::ui::ActivityIndicatorStyle::WhiteLarge);

  platform::NotificationCenter::defaultCenter().post(VKRPageDidLoadNotification, nullptr);
  advance(10);
  ASSERT_EQ(plugin_->imageView(), image);
  EXPECT_EQ(image->alpha(), 1);

  ASSERT_TRUE(
      plugin_->performAction("hide", VKRInvokedUrlCommand({}, "INVALID", "SplashScreen", "hide")));
  advance(1.9);  // waits the fade time in whole seconds (2), then fades for 2 s
  EXPECT_EQ(image->alpha(), 1);
  advance(0.1);
  advance(1);
  EXPECT_NEAR(image->alpha(), 0.5, 0.02);
  // Shown again meanwhile: the teardown still happens, and further shows do nothing until a hide.
  ASSERT_TRUE(
      plugin_->performAction("show", VKRInvokedUrlCommand({}, "INVALID", "SplashScreen", "show")));
  advance(1.1);
  EXPECT_FALSE(plugin_->imageView());
  EXPECT_TRUE(plugin_->isVisible());
  EXPECT_TRUE(delegate_->sent().empty());
}

TEST_F(VKRSplashScreenTest, WithoutFadeOrDelayItVanishesAtOnce) {
  start({{"fadesplashscreen", "false"},
         {"splashscreendelay", 0},
         {"showsplashscreenspinner", "false"}});
  auto spinner = plugin_->activityView();
  ASSERT_TRUE(spinner);
  EXPECT_EQ(spinner->superview(), nullptr);
  plugin_->setVisible(false);
  EXPECT_FALSE(plugin_->imageView());
}

}  // namespace
