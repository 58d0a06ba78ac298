#include "ads/foundation/device.h"

#include <gtest/gtest.h>

#include <set>

#include "ads/foundation/request_builder.h"
#include "ads/testing/fake_sdk_core.h"
#include "platform/foundation/system_info.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/url_opener.h"
#include "platform/ui/window.h"

namespace {

using platform::Dictionary;
using platform::Value;

// Answers yes to every URL and records what it was asked.
class RecordingURLOpener final : public platform::ui::URLOpener {
 public:
  bool canOpenURL(const std::string& url) override {
    asked.push_back(url);
    return true;
  }
  void openURL(const std::string&, std::function<void(bool)> completion) override {
    if (completion) completion(false);
  }
  std::vector<std::string> asked;
};

class ZADDeviceTest : public ::testing::Test {
 protected:
  ZADDeviceTest()
      : app_("com.example.app",
             Dictionary{{"CFBundleVersion", "2.1"},
                        {"DTSDKName", "iphoneos12.1"},
                        {"DTPlatformName", "iphoneos"},
                        {"LSApplicationQueriesSchemes", Value::array({"ereader"})}}) {
    platform::ui::Application::resetShared();
    platform::ui::Application::shared().setURLOpener(opener_);
  }
  ~ZADDeviceTest() override {
    platform::ui::Application::resetShared();
    platform::ui::Screen::main().setScale(1);
    platform::testing::drainMainLoop();
  }

  platform::testing::TestApp app_;
  std::shared_ptr<RecordingURLOpener> opener_ = std::make_shared<RecordingURLOpener>();
};

TEST_F(ZADDeviceTest, ParametersCarryTheDeviceFactsAndTheirDefaults) {
  platform::ui::Screen::main().setScale(2);
  auto window = std::make_shared<platform::ui::Window>(platform::ui::Rect(0, 0, 320, 480));
  platform::ui::Application::shared().makeKeyWindow(window);
  ads::testing::ScopedFakeMobileAds mobileAds;
  mobileAds->volume = 0.25f;
  mobileAds->muted = true;

  ZADDevice device;
  device.cacheStaticParameters();
  const Dictionary parameters = device.parameters();

  const std::pair<const char*, Value> expected[] = {
      {"ios_base_sdk", "12.1"},
      {"app_name", "2.1.iphone.com.example.app"},
      {"platform", platform::deviceModel()},
      {"submodel", platform::machineName()},
      {"ios_output_volume", "1"},
      {"u_so", "p"},
      {"u_sd", "2"},
      {"u_w", "375"},
      {"u_h", "667"},
      {"ios_key_window_w", "320"},
      {"ios_key_window_h", "480"},
      {"cap_bs", 2},  // the reader app is listed and opens; the book store is not listed
      {"cap_noiap", "1"},
      {"ios_app_volume", 0.25},
      {"ios_app_muted", "1"},
  };
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(parameters.contains(key)) << key;
    EXPECT_EQ(*parameters.find(key), value) << key;
  }
  EXPECT_TRUE(parameters.find("ios_metadata")->isDictionary());
  EXPECT_EQ((*parameters.find("ios_info_plist"))["CFBundleIdentifier"], Value("com.example.app"));
  // Facts this platform lacks leave their keys out.
  for (const char* absent : {"ios_ipadc", "ios_jb", "ios_audio_ports", "ios_radio",
                             "ios_radio_last", "cellular_country_code", "cellular_network_code"}) {
    EXPECT_FALSE(parameters.contains(absent)) << absent;
  }
  EXPECT_EQ(device.limitAdTrackingString(), "1");
  EXPECT_EQ(device.deviceIdentifier(), "");
}

TEST_F(ZADDeviceTest, WithoutSettingsOrVersionTheAlwaysKeysStillHaveValues) {
  platform::testing::TestApp bare("com.example.bare");
  ZADDevice device;
  const Dictionary parameters = device.parameters();
  EXPECT_EQ(*parameters.find("app_name"), Value("iphone.com.example.bare"));
  EXPECT_EQ(*parameters.find("ios_app_volume"), Value(1.0));
  EXPECT_EQ(*parameters.find("ios_app_muted"), Value("0"));
  EXPECT_FALSE(parameters.contains("ios_base_sdk"));
  EXPECT_FALSE(parameters.contains("cap_bs"));
}

TEST_F(ZADDeviceTest, OnlyListedSchemesAreAskedFor) {
  ZADDevice device;
  device.cacheStaticParameters();
  opener_->asked.clear();
  const Dictionary answers = device.canOpenURLs({"ereader://home", "itms-books://", "not a url"});
  EXPECT_EQ(*answers.find("ereader://home"), Value(true));
  EXPECT_EQ(*answers.find("itms-books://"), Value(false));
  EXPECT_EQ(*answers.find("not a url"), Value(false));
  EXPECT_EQ(opener_->asked, std::vector<std::string>{"ereader://home"});
}

TEST_F(ZADDeviceTest, RadioUserAgentAndVersions) {
  ZADDevice device;
  device.setRadioAccessTechnology("LTE");
  device.setRadioAccessTechnology(std::nullopt);
  EXPECT_FALSE(device.radioAccessTechnology());
  EXPECT_EQ(device.lastKnownRadioAccessTechnology(), "LTE");

  device.setUserAgentString("agent/1");
  device.setUserAgentString("");
  EXPECT_EQ(device.userAgentString(), "agent/1");

  using V = ZADDevice::OSVersion;
  EXPECT_EQ(ZADDevice::parseOperatingSystemVersion("7.1"), (V{7, 1, 0}));
  EXPECT_EQ(ZADDevice::parseOperatingSystemVersion("8.1.2.3"), (V{8, 1, 2}));
  EXPECT_EQ(ZADDevice::parseOperatingSystemVersion("12"), (V{12, 0, 0}));
  device.updateOperatingSystemVersionProperties();
  EXPECT_EQ(device.systemVersion(), platform::systemVersion());
  const V version = device.operatingSystemVersion();
  EXPECT_TRUE(device.isOSAtLeast(version[0], version[1], version[2]));
  EXPECT_FALSE(device.isOSAtLeast(version[0], version[1], version[2] + 1));
}

TEST_F(ZADDeviceTest, TemporaryFolderIsEmptiedAtStart) {
  ZADDevice first;
  const std::filesystem::path folder = first.temporaryPathWithCreation(true);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  platform::testing::drainMainLoop();
  ZADDevice second;
  platform::testing::drainMainLoop();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(ZADDeviceTest, RequestBuilderSetsUserAgentBodyAndMethod) {
  ZADDevice::sharedInstance().setUserAgentString("ZorovaTest/1");
  const auto url = platform::URL::parse("http://127.0.0.1/x");
  auto post = zad_requestForURL(*url, platform::bytesOf("abc"),
                                Dictionary{{"User-Agent", "mine"}, {"X-A", "1"}},
                                std::string("text/plain"));
  ASSERT_TRUE(post);
  EXPECT_EQ(post->httpMethod, "POST");
  EXPECT_EQ(post->valueForHTTPHeaderField("User-Agent"), "ZorovaTest/1");
  EXPECT_EQ(post->valueForHTTPHeaderField("X-A"), "1");
  EXPECT_EQ(post->valueForHTTPHeaderField("Content-Length"), "3");
  EXPECT_EQ(post->valueForHTTPHeaderField("Content-Type"), "text/plain");

  auto get = zad_requestForURL(*url, platform::bytesOf("abc"), {}, std::nullopt);
  ASSERT_TRUE(get);
  EXPECT_EQ(get->httpMethod, "GET");
  EXPECT_FALSE(get->httpBody);
  EXPECT_FALSE(zad_requestForURL(std::nullopt, std::nullopt, {}, std::nullopt));
}

}  // namespace
