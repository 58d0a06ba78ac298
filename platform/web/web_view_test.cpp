#include "platform/web/web_view.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_dir.h"
#include "platform/web/testing/fake_web_view.h"

namespace platform::web {
namespace {

struct CountingDelegate : WebViewDelegate {
  bool shouldStartLoad(WebView&, const NavigationAction&) override {
    ++asked;
    return true;
  }
  int asked = 0;
};

TEST(WebViewContainerTest, RefusesFileNavigationsOutsideTheContainerBeforeTheDelegate) {
  platform::testing::TempDir dir;
  platform::testing::writeFile(dir / "App.bundle/www/index.html", "page");
  platform::testing::writeFile(dir / "home/Documents/a.html", "a");
  platform::testing::writeFile(dir / "beside.html", "b");
  testing::FakeWebView view(ui::Rect(0, 0, 10, 10));
  auto delegate = std::make_shared<CountingDelegate>();
  view.setDelegate(delegate);
  const std::string root = "file://" + dir.path().string();

  // Unconfined, every file is the delegate's to decide.
  EXPECT_TRUE(view.simulateShouldStart(root + "/beside.html"));
  EXPECT_EQ(delegate->asked, 1);

  view.setFileContainer(std::make_shared<const AppContainer>(
      AppContainer::of(dir / "App.bundle", dir / "home", dir / "keychain")));
  const struct {
    std::string url;
    bool allowed;
  } cases[] = {
      {root + "/App.bundle/www/index.html", true},
      {root + "/App.bundle/www/index.html?x=1#top", true},
      {root + "/home/Documents/a.html", true},
      {root + "/home/Documents/../../beside.html", false},
      {root + "/beside.html", false},
      {"file:///etc/passwd", false},
      {"file://other-host" + dir.path().string() + "/home/Documents/a.html", false},
      {"https://example.com/", true},
      {"about:blank", true},
  };
  int asked = delegate->asked;
  for (const auto& c : cases) {
    EXPECT_EQ(view.simulateShouldStart(c.url), c.allowed) << c.url;
    if (c.allowed) ++asked;
    EXPECT_EQ(delegate->asked, asked) << c.url;
  }
}

}  // namespace
}  // namespace platform::web
