#include "VokaruLib/Classes/Public/vkr_view_controller.h"

#include <gtest/gtest.h>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/testing/log_capture.h"
#include "platform/web/testing/fake_web_view.h"

namespace {

using platform::testing::TestApp;

class RegistryProbePlugin : public VKRPlugin {
 public:
  explicit RegistryProbePlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {}
  void pluginInitialize() override {
    ++initializeCount;
    linkedAtInitialize = viewController() && commandDelegate() && webViewEngine();
  }
  int initializeCount = 0;
  bool linkedAtInitialize = false;
};
VKR_REGISTER_PLUGIN(RegistryProbePlugin);

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <preference name="ErrorUrl" value="error.html" />
  <feature name="Probe"><param name="ios-package" value="RegistryProbePlugin" /></feature>
  <feature name="Ghost"><param name="ios-package" value="NoSuchPluginClass" /></feature>
</widget>)";

TEST(VKRViewControllerTest, ReadsTheBundlesConfiguration) {
  vokaru::testing::TestController test(kConfig);
  VKRViewController& controller = *test.controller;
  EXPECT_EQ(controller.settings(), (platform::Dictionary{{"errorurl", "error.html"}}));
  EXPECT_EQ(controller.pluginsMap().size(), 2u);
  EXPECT_EQ(controller.startPage(), "index.html");
  EXPECT_EQ(controller.wwwFolderName(), "www");
  ASSERT_NE(controller.commandQueue(), nullptr);
  ASSERT_NE(controller.commandDelegate(), nullptr);
  EXPECT_EQ(controller.commandDelegate()->settings(), controller.settings());
}

TEST(VKRViewControllerTest, ConfigurationFailuresAreErrorsWithTheirTexts) {
  {
    TestApp missing;
    platform::Result<std::shared_ptr<VKRViewController>> none = VKRViewController::create();
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().code(), kVKRConfigMissing);
    EXPECT_EQ(none.error().localizedDescription(),
              "ERROR: config.xml does not exist. Please run "
              "vokaru-ios/bin/vokaru_plist_to_config_xml path/to/project.");
  }
  TestApp broken;
  broken.writeBundleFile("config.xml",
                         "<widget>\n  <preference name=\"a\" value=\"b\">\n</widget>");
  platform::Result<std::shared_ptr<VKRViewController>> bad = VKRViewController::create();
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().code(), kVKRConfigParseError);
  EXPECT_EQ(bad.error().localizedDescription(), "config.xml parse error line 3 col 2");
}

TEST(VKRViewControllerTest, UserAgentIsComposedOnceFromTheBaseAndThePreferences) {
  platform::web::testing::ScopedFakeWebEngine webEngine;
  VKRUserAgentUtil::onAppLocaleDidChange({});
  const std::string original = platform::web::testing::FakeWebView::kDefaultUserAgent;
  struct Case {
    const char* preferences;
    std::optional<std::string> base;
    std::string expected;  // "#" stands for the controller's number
  };
  const Case cases[] = {
      {"", std::nullopt, original + " (#)"},
      {R"(<preference name="AppendUserAgent" value="Foo" />)", std::nullopt, original + " Foo"},
      {R"(<preference name="OverrideUserAgent" value="Mine/1" />)", std::nullopt, "Mine/1 (#)"},
      {R"(<preference name="OverrideUserAgent" value="Mine/1" />
          <preference name="AppendUserAgent" value="Foo" />)",
       std::nullopt, "Mine/1 Foo"},
      {R"(<preference name="OverrideUserAgent" value="Mine/1" />)", "Base/2", "Base/2 (#)"},
  };
  for (const Case& c : cases) {
    vokaru::testing::TestController test(std::string("<widget>") + c.preferences + "</widget>");
    test.controller->setBaseUserAgent(c.base);
    std::string expected = c.expected;
    if (size_t mark = expected.find('#'); mark != std::string::npos) {
      expected.replace(mark, 1, std::to_string(reinterpret_cast<intptr_t>(test.controller.get())));
    }
    EXPECT_EQ(test.controller->userAgent(), expected) << c.preferences;
    test.controller->setBaseUserAgent("Later/3");
    EXPECT_EQ(test.controller->userAgent(), expected) << "kept once composed";
    EXPECT_EQ(test.controller->commandDelegate()->userAgent(), expected);
  }
  VKRUserAgentUtil::onAppLocaleDidChange({});
}

TEST(VKRViewControllerTest, TearDownReleasesTheUserAgentLock) {
  std::vector<int64_t> handedOn;
  {
    vokaru::testing::TestController test(kConfig);
    VKRUserAgentUtil::acquireLock(
        [&](int64_t token) { *test.controller->userAgentLockToken() = token; });
    VKRUserAgentUtil::acquireLock([&](int64_t token) { handedOn.push_back(token); });
    EXPECT_TRUE(handedOn.empty());
  }
  ASSERT_EQ(handedOn.size(), 1u);
  VKRUserAgentUtil::releaseLock(&handedOn[0]);
}

TEST(VKRViewControllerTest, RegistryMakesOnePluginPerClassOnFirstUse) {
  vokaru::testing::TestController test(kConfig);
  EXPECT_TRUE(test.controller->pluginObjects().empty());
  std::shared_ptr<VKRPlugin> first = test.controller->getCommandInstance("Probe");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(test.controller->getCommandInstance("probe"), first);
  EXPECT_EQ(test.controller->getCommandInstance("PROBE"), first);
  auto& probe = dynamic_cast<RegistryProbePlugin&>(*first);
  EXPECT_EQ(probe.initializeCount, 1);
  EXPECT_TRUE(probe.linkedAtInitialize);
  EXPECT_EQ(probe.viewController(), test.controller);
  EXPECT_EQ(test.controller->pluginObjects().size(), 1u);
  EXPECT_EQ(test.controller->pluginObjects().count("RegistryProbePlugin"), 1u);
}

TEST(VKRViewControllerTest, UnmappedServicesAndMissingClassesGiveNoPlugin) {
  vokaru::testing::TestController test(kConfig);
  platform::testing::LogCapture log;
  EXPECT_EQ(test.controller->getCommandInstance("Unmapped"), nullptr);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(test.controller->getCommandInstance("Ghost"), nullptr);
  EXPECT_EQ(test.controller->getCommandInstance("ghost"), nullptr);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "VKRPlugin class NoSuchPluginClass (pluginName: Ghost) does not exist.",
                "VKRPlugin class NoSuchPluginClass (pluginName: ghost) does not exist."}));
}

TEST(VKRViewControllerTest, TearDownLeavesPluginsUnlinked) {
  std::shared_ptr<VKRPlugin> plugin;
  {
    vokaru::testing::TestController test(kConfig);
    plugin = test.controller->getCommandInstance("Probe");
    test.controller.reset();
  }
  EXPECT_EQ(plugin->viewController(), nullptr);
  EXPECT_EQ(plugin->commandDelegate(), nullptr);
}

}  // namespace
