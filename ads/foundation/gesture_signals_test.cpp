#include "ads/foundation/gesture_signals.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ads/foundation/device.h"
#include "platform/foundation/battery.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace {

using platform::ui::View;

TEST(ZADGestureSignalsTest, TextCodecsAndReachability) {
  bool mustFree = true;
  EXPECT_EQ(ZADGestureCopyUTF8CString(std::nullopt, mustFree), nullptr);
  EXPECT_TRUE(mustFree);
  const std::optional<std::string> abc = "abc";
  EXPECT_STREQ(ZADGestureCopyUTF8CString(abc, mustFree), "abc");
  EXPECT_FALSE(mustFree);

  const uint8_t bytes[16] = {0xfb, 0xff, 0xbf, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string encoded = ZADGestureWebSafeBase64String(bytes, sizeof bytes);
  EXPECT_EQ(encoded, "-_-_AAECAwQFBgcICQoLDA");

  uint8_t output[16] = {};
  EXPECT_FALSE(ZADGestureProcessString(std::nullopt, output));
  EXPECT_FALSE(ZADGestureProcessString(abc, nullptr));
  EXPECT_TRUE(ZADGestureProcessString(abc, output));

  uint32_t flags = 0xFFFFFFFF;
  EXPECT_FALSE(ZADGestureReachabilityFlags(nullptr));
  EXPECT_TRUE(ZADGestureReachabilityFlags(&flags));
  EXPECT_EQ(flags & ~uint32_t(0x70007), 0u);  // only flags the platform reports
}

TEST(ZADGestureSignalsTest, BatteryRecord) {
  platform::testing::TempDir supplies;
  EXPECT_FALSE(platform::batteryStatus(supplies.path()).level);
  std::filesystem::create_directories(supplies.path() / "AC");
  std::ofstream(supplies.path() / "AC" / "type") << "Mains\n";
  std::filesystem::create_directories(supplies.path() / "BAT0");
  std::ofstream(supplies.path() / "BAT0" / "type") << "Battery\n";
  std::ofstream(supplies.path() / "BAT0" / "capacity") << "57\n";
  std::ofstream(supplies.path() / "BAT0" / "status") << "Charging\n";
  const platform::BatteryStatus battery = platform::batteryStatus(supplies.path());
  EXPECT_DOUBLE_EQ(battery.level.value_or(0), 0.57);
  EXPECT_EQ(battery.state, platform::BatteryState::Charging);

  // This machine's battery, packed: level in the low word (-100 unknown), state in the high.
  const platform::BatteryStatus own = platform::batteryStatus();
  const uint64_t info = ZADGestureBatteryInfo();
  EXPECT_EQ(static_cast<int32_t>(info & 0xFFFFFFFF),
            own.level ? static_cast<int32_t>(*own.level * 100) : -100);
  EXPECT_EQ(info >> 32, static_cast<uint64_t>(own.state));
}

class TestAdView final : public View {
 public:
  using View::View;
};

TEST(ZADGestureSignalsTest, TheVisibleFrameIsThePartCoveredFromAbove) {
  platform::ui::Application::resetShared();
  ZADGestureRegisterViewClass<TestAdView>("TestAdView");
  auto controller = std::make_shared<platform::ui::ViewController>();
  auto window = std::make_shared<platform::ui::Window>(platform::ui::Rect(0, 0, 320, 480));
  window->setRootViewController(controller);
  window->makeKeyAndVisible();
  EXPECT_TRUE(ZADRectIsNull(ZADGestureVisibleFrameOfViewClass("TestAdView")));  // none shown
  EXPECT_TRUE(ZADRectIsNull(ZADGestureVisibleFrameOfViewClass("NoSuchClass")));

  auto container = std::make_shared<View>(platform::ui::Rect(0, 100, 320, 200));
  auto ad = std::make_shared<TestAdView>(platform::ui::Rect(0, 0, 320, 50));
  ad->addSubview(std::make_shared<View>(platform::ui::Rect(0, 0, 320, 50)));  // its own content
  container->addSubview(ad);
  controller->view()->addSubview(container);
  EXPECT_EQ(ZADGestureVisibleFrameOfViewClass("TestAdView"), ZADRect());

  auto hidden = std::make_shared<View>(platform::ui::Rect(0, 100, 320, 50));
  hidden->setHidden(true);
  controller->view()->addSubview(hidden);
  auto cover = std::make_shared<View>(platform::ui::Rect(0, 125, 320, 100));
  controller->view()->addSubview(cover);
  EXPECT_EQ(ZADGestureVisibleFrameOfViewClass("TestAdView"), ZADRect(0, 125, 320, 25));
  platform::ui::Application::resetShared();
}

TEST(ZADGestureSignalsTest, DeviceIdentifierRecord) {
  platform::testing::TestApp app;
  int32_t major = -1, minor = -1, bug = -1;
  ZADGestureIdUtil::getOSMajorMinorBugFix(&major, &minor, &bug);
  const ZADDevice::OSVersion version = ZADDevice::sharedInstance().operatingSystemVersion();
  EXPECT_EQ((std::vector<int64_t>{major, minor, bug}),
            (std::vector<int64_t>{version[0], version[1], version[2]}));
  ZADGestureIdUtil::getOSMajorMinorBugFix(nullptr, nullptr, nullptr);
  ASSERT_TRUE(ZADGestureIdUtil::isOSAtLeast(6, 0, 0));

  // No advertising identifier here: tracking reads as limited, and the all-zero one is sent.
  const ZADGestureDeviceIdentifier record = ZADGestureDeviceIdentifierBytes();
  EXPECT_EQ(record.identifierType, 4);
  EXPECT_TRUE(record.optedOut);
  EXPECT_EQ(record.identifier, "AAAAAAAAAAAAAAAAAAAAAA");
}

}  // namespace
