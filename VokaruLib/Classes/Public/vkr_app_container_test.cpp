#include "VokaruLib/Classes/Public/vkr_app_container.h"

#include <gtest/gtest.h>

#include "platform/testing/test_app.h"

namespace {

TEST(VKRAppContainerTest, ConfinedUnlessConfigXmlLetsTheAppOut) {
  platform::testing::TestApp app;
  const std::string inside = (app.appHome() / "Documents/a").string();
  EXPECT_TRUE(vkrAppContainer({})->canWrite(inside));
  EXPECT_TRUE(vkrAppContainer({{"vokaruallowfilesoutsideapp", "false"}}).has_value());
  EXPECT_FALSE(vkrAppContainer({{"vokaruallowfilesoutsideapp", "true"}}).has_value());

  // The engine starts before a controller reads config.xml: it reads the preference itself, and
  // a bundle without config.xml stays confined.
  EXPECT_TRUE(vkrAppContainer(vkrAppConfigSettings()).has_value());
  app.writeBundleFile("config.xml",
                      R"(<widget><preference name="VokaruAllowFilesOutsideApp" value="true"/>)"
                      R"(</widget>)");
  EXPECT_FALSE(vkrAppContainer(vkrAppConfigSettings()).has_value());
}

}  // namespace
