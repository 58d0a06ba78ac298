#include "Plugins/vokaru-plugin-inappbrowser/vkr_app_origin.h"

#include <gtest/gtest.h>

namespace {

std::optional<VKRAppOrigin> originOf(const std::string& startPage) {
  platform::Result<platform::URL> url = platform::URL::parse(startPage);
  return url.ok() ? VKRAppOrigin::of(*url) : std::nullopt;
}

TEST(AppOriginTest, PagesOfTheAppsOwnAreTheOnlyOnesItContains) {
  struct Case {
    const char* startPage;
    const char* url;
    bool contained;
  };
  const Case cases[] = {
      // An app served from files: its start page's folder and below.
      {"file:///app/www/index.html", "file:///app/www/page.html", true},
      {"file:///app/www/index.html", "file:///app/www/sections/page.html?x=1#top", true},
      {"file:///app/www/index.html", "file://localhost/app/www/page.html", true},
      {"file:///app/www/index.html", "FILE:///app/www/./page.html", true},
      {"file:///app/www/index.html", "file:///app/www/../secret.html", false},
      {"file:///app/www/index.html", "file:///app/www/%2E%2E/secret.html", false},
      {"file:///app/www/index.html", "file:///app/www/sections/../../secret.html", false},
      {"file:///app/www/index.html", "file:///app/wwwx/page.html", false},
      {"file:///app/www/index.html", "file:///app/www", false},
      {"file:///app/www/index.html", "file:///elsewhere/page.html", false},
      {"file:///app/www/index.html", "file://remote.test/app/www/page.html", false},
      {"file:///app/www/index.html", "https://example.test/app/www/page.html", false},
      // An app served by a server: its scheme, host and port.
      {"https://app.test/index.html", "https://app.test/other/page.html", true},
      {"https://app.test/index.html", "https://APP.test:443/page.html", true},
      {"https://app.test/index.html", "https://app.test:8443/page.html", false},
      {"https://app.test/index.html", "http://app.test/page.html", false},
      {"https://app.test/index.html", "https://app.test.example/page.html", false},
      {"https://app.test/index.html", "https://sub.app.test/page.html", false},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/page.html", true},
      {"http://127.0.0.1:8080/", "http://127.0.0.1/page.html", false},
      {"vkrapp://bundle/index.html", "vkrapp://bundle/page.html", true},
      {"vkrapp://bundle/index.html", "vkrapp://other/page.html", false},
      // Pages without an origin of the app's, and text that is no URL.
      {"file:///app/www/index.html", "about:blank", false},
      {"file:///app/www/index.html", "data:text/html,<p>hi</p>", false},
      {"file:///app/www/index.html", "javascript:alert(1)", false},
      {"file:///app/www/index.html", "page.html", false},
      {"file:///app/www/index.html", "", false},
      {"https://app.test/index.html", "http://[::1", false},
  };
  for (const Case& c : cases) {
    std::optional<VKRAppOrigin> origin = originOf(c.startPage);
    ASSERT_TRUE(origin) << c.startPage;
    EXPECT_EQ(origin->contains(c.url), c.contained) << c.startPage << " holds " << c.url;
  }
}

TEST(AppOriginTest, AStartPageWithoutAnOriginGivesNone) {
  for (const char* startPage :
       {"about:blank", "data:text/html,x", "index.html", "file://remote.test/app/www/index.html"}) {
    EXPECT_FALSE(originOf(startPage)) << startPage;
  }
}

}  // namespace
