#include "VokaruLib/Classes/Private/Plugins/vkr_handle_open_url.h"

#include <gtest/gtest.h>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/dispatch/notification_center.h"

namespace {

void openURL(const std::string& url) {
  platform::NotificationCenter::defaultCenter().post(VKRPluginHandleOpenURLNotification, nullptr,
                                                     platform::Value(), url);
}

void pageDidLoad() {
  platform::NotificationCenter::defaultCenter().post(VKRPageDidLoadNotification);
}

class HandleOpenURLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(test_.controller->getCommandInstance("HandleOpenUrl"), nullptr);
  }
  vokaru::testing::TestController test_{R"(<widget>
      <feature name="HandleOpenUrl"><param name="ios-package" value="VKRHandleOpenURL" /></feature>
    </widget>)"};
};

TEST_F(HandleOpenURLTest, AURLWaitsForTheFirstPageLoadAndALaterOneReplacesIt) {
  openURL("myapp://first");
  openURL("myapp://second");
  EXPECT_TRUE(test_.engine->scripts().empty());
  pageDidLoad();
  EXPECT_EQ(test_.engine->scripts(),
            (std::vector<std::string>{
                "document.addEventListener('deviceready',function(){if (typeof handleOpenURL === "
                "'function') { handleOpenURL(\"myapp://second\");}});"}));
  // Once a page has loaded, each URL goes at once.
  openURL("myapp://third");
  pageDidLoad();
  ASSERT_EQ(test_.engine->scripts().size(), 2u);
  EXPECT_NE(test_.engine->scripts()[1].find("handleOpenURL(\"myapp://third\")"), std::string::npos);
}

TEST_F(HandleOpenURLTest, TheURLStaysInsideItsStringLiteral) {
  struct Case {
    std::string url;
    std::string literal;
  };
  const std::vector<Case> cases = {
      {R"(x://a"b)", R"("x://a\"b")"},
      {R"(x://a\");alert(1);//)", R"("x://a\\\");alert(1);//")"},
      {"x://line\nbreak", R"("x://line\nbreak")"},
      {"x://sep\xE2\x80\xA8"
       "arator",
       R"("x://sep\u2028arator")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VKRHandleOpenURL::openURLScript(c.url),
              "document.addEventListener('deviceready',function(){if (typeof handleOpenURL === "
              "'function') { handleOpenURL(" +
                  c.literal + ");}});");
  }
}

}  // namespace
