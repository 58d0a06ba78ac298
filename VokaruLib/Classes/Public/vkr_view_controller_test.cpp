#include "VokaruLib/Classes/Public/vkr_view_controller.h"

#include <gtest/gtest.h>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/testing/log_capture.h"

namespace {

using platform::testing::TempDir;
using platform::testing::writeFile;

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
  TempDir missing;
  platform::Result<std::shared_ptr<VKRViewController>> none =
      VKRViewController::create(missing.path());
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().code(), kVKRConfigMissing);
  EXPECT_EQ(none.error().localizedDescription(),
            "ERROR: config.xml does not exist. Please run "
            "vokaru-ios/bin/vokaru_plist_to_config_xml path/to/project.");

  TempDir broken;
  writeFile(broken / "config.xml", "<widget>\n  <preference name=\"a\" value=\"b\">\n</widget>");
  platform::Result<std::shared_ptr<VKRViewController>> bad =
      VKRViewController::create(broken.path());
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().code(), kVKRConfigParseError);
  EXPECT_EQ(bad.error().localizedDescription(), "config.xml parse error line 3 col 2");
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
