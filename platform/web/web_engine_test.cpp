#include "platform/web/web_engine.h"

#include <gtest/gtest.h>

#include "platform/web/testing/fake_web_view.h"
#include "platform/web/web_errors.h"

namespace platform::web {
namespace {

TEST(WebEngineTest, RegisterURLSchemeValidatesAndLowerCases) {
  testing::FakeWebEngine engine;
  auto handler = [](std::shared_ptr<URLSchemeTask>) {};
  struct Case {
    std::string scheme;
    bool accepted;
  };
  for (const Case& c :
       {Case{"app", true}, Case{"VKR-IAB", true}, Case{"x+y.z", true}, Case{"", false},
        Case{"1app", false}, Case{"a b", false}, Case{"a:b", false}, Case{"http", false},
        Case{"HTTPS", false}, Case{"file", false}, Case{"about", false}, Case{"data", false}}) {
    Status status = engine.registerURLScheme(c.scheme, handler);
    EXPECT_EQ(status.ok(), c.accepted) << "scheme \"" << c.scheme << "\"";
    if (!status.ok()) {
      EXPECT_EQ(status.error().domain(), kURLErrorDomain);
    }
  }
  EXPECT_NE(engine.schemeHandler("vkr-iab"), nullptr);
  EXPECT_EQ(engine.schemeHandler("VKR-IAB"), nullptr);
  EXPECT_FALSE(engine.registerURLScheme("app", nullptr).ok());
}

}  // namespace
}  // namespace platform::web
