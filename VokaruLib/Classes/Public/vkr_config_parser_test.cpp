#include "VokaruLib/Classes/Public/vkr_config_parser.h"

#include <gtest/gtest.h>

namespace {

using platform::Value;

VKRConfigParser parse(std::string_view xml) {
  VKRConfigParser parser;
  platform::XMLParser reader(parser);
  EXPECT_TRUE(reader.parse(xml).ok()) << xml;
  return parser;
}

TEST(VKRConfigParserTest, ReadsPluginsPreferencesStartupPluginsAndStartPage) {
  VKRConfigParser config = parse(R"(<?xml version="1.0" encoding="UTF-8"?>
<widget id="io.example.app" version="1.0.0">
  <preference name="BackupWebStorage" value="cloud" />
  <preference name="ErrorUrl" value="first.html" />
  <preference name="ERRORURL" value="error.html" />
  <feature name="Device">
    <param name="ios-package" value="VKRDevice" />
  </feature>
  <feature name="LocalStorage">
    <param name="ios-package" value="VKRLocalStorage" onload="TRUE" />
  </feature>
  <feature name="Console">
    <param name="IOS-PACKAGE" value="VKRLogger" />
    <param name="onload" value="true" />
  </feature>
  <param name="ios-package" value="Stray" />
  <allow-navigation href="https://*.example.test/*" />
  <content src="main.html" />
</widget>)");

  EXPECT_EQ(config.pluginsDict(), (platform::Dictionary{{"device", "VKRDevice"},
                                                        {"localstorage", "VKRLocalStorage"},
                                                        {"console", "VKRLogger"}}));
  EXPECT_EQ(config.settings(),
            (platform::Dictionary{{"backupwebstorage", "cloud"}, {"errorurl", "error.html"}}));
  EXPECT_EQ(config.startupPluginNames(), (std::vector<std::string>{"localstorage", "console"}));
  EXPECT_EQ(config.startPage(), "main.html");
}

TEST(VKRConfigParserTest, StartupPluginRules) {
  struct Case {
    const char* feature;
    std::vector<std::string> startup;
  };
  const Case cases[] = {
      // The onload param's value must be exactly "true"; the attribute is read lower-cased.
      {R"(<param name="onload" value="TRUE" />)", {}},
      {R"(<param name="OnLoad" value="true" />)", {"f"}},
      {R"(<param name="ios-package" value="P" onload="TRUE" />)", {"f"}},
      {R"(<param name="ios-package" value="P" onload="false" />)", {}},
      {R"(<param onload="true" />)", {"f"}},
      {R"(<param value="true" />)", {}},
      // Each qualifying param lists the feature again.
      {R"(<param name="ios-package" value="P" onload="true" /><param name="onload" value="true"/>)",
       {"f", "f"}},
  };
  for (const Case& c : cases) {
    VKRConfigParser config =
        parse(std::string("<widget><feature name=\"F\">") + c.feature + "</feature></widget>");
    EXPECT_EQ(config.startupPluginNames(), c.startup) << c.feature;
  }
}

TEST(VKRConfigParserTest, ElementsMissingTheirAttributesAreSkipped) {
  VKRConfigParser config = parse(R"(<widget>
  <preference name="NoValue" />
  <preference value="no name" />
  <feature><param name="ios-package" value="Nameless" /></feature>
  <feature name="NoPackage"><param name="ios-package" /></feature>
  <content />
</widget>)");
  EXPECT_TRUE(config.settings().empty());
  EXPECT_TRUE(config.pluginsDict().empty());
  EXPECT_FALSE(config.startPage().has_value());
}

TEST(VKRConfigParserTest, ContentInsideAFeatureStillSetsTheStartPage) {
  VKRConfigParser config =
      parse(R"(<widget><feature name="X"><content src="in-feature.html"/></feature></widget>)");
  EXPECT_EQ(config.startPage(), "in-feature.html");
  EXPECT_TRUE(config.pluginsDict().empty());
}

}  // namespace
