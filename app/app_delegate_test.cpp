// The shell's window: its size, its title and a web view that follows it.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include "VokaruLib/testing/page_host.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/gtk/gobject_ptr.h"

namespace {

using platform::ui::Size;
using vokaru::testing::PageHost;

std::string configWithWindowSize(const std::string& setting) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>)" +
         (setting.empty() ? "" : R"(<preference name="WindowSize" value=")" + setting + R"(" />)") +
         "</widget>";
}

std::unique_ptr<PageHost> launch(const std::string& setting, std::optional<Size> option) {
  PageHost::Options options;
  options.files = {{"config.xml", configWithWindowSize(setting)},
                   {"www/index.html", "<!DOCTYPE html><html><body>Window</body></html>"}};
  options.makeAppDelegate = [option] {
    auto delegate = std::make_shared<AppDelegate>();
    delegate->setWindowSize(option);
    return delegate;
  };
  auto host = std::make_unique<PageHost>(std::move(options));
  platform::Status launched = host->launch();
  EXPECT_TRUE(launched.ok()) << launched.error().description();
  return launched.ok() ? std::move(host) : nullptr;
}

// The toplevel GTK window the app shows.
GtkWindow* shownWindow() {
  GList* toplevels = gtk_window_list_toplevels();
  GtkWindow* shown = nullptr;
  for (GList* item = toplevels; item; item = item->next) {
    if (gtk_widget_get_visible(GTK_WIDGET(item->data))) shown = GTK_WINDOW(item->data);
  }
  g_list_free(toplevels);
  return shown;
}

Size gtkSize(GtkWindow* window) {
  int width = 0, height = 0;
  gtk_window_get_size(window, &width, &height);
  return {double(width), double(height)};
}

TEST(AppDelegateTest, TheWindowOpensAtItsSizeWithTheAppsNameAndTheWebViewFollowsIt) {
  std::unique_ptr<PageHost> host = launch("800x600", Size{900, 700});
  ASSERT_NE(host, nullptr);
  GtkWindow* window = shownWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(gtk_window_get_title(window), "Vokaru Sample");
  EXPECT_TRUE(gtk_window_get_resizable(window));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] {
    return gtkSize(window) == Size{900, 700};
  }));
  EXPECT_EQ(host->webView()->frame().size, (Size{900, 700}));

  // Smaller than it opened and larger again: the web view and the page follow.
  for (Size size : {Size{480, 360}, Size{1100, 820}}) {
    gtk_window_resize(window, int(size.width), int(size.height));
    EXPECT_TRUE(platform::testing::runMainLoopUntil([&] {
      return host->webView()->frame().size == size;
    })) << host->webView()->frame().width()
        << "x" << host->webView()->frame().height();
    EXPECT_TRUE(host->waitFor("window.innerWidth === " + std::to_string(int(size.width)) +
                              " && window.innerHeight === " + std::to_string(int(size.height))))
        << host->eval("window.innerWidth + 'x' + window.innerHeight");
  }
}

TEST(AppDelegateTest, WithoutTheOptionTheSettingOrElseTheDesktopDefaultSizesTheWindow) {
  struct Case {
    const char* setting;
    Size expected;
  };
  for (const Case& c : {Case{"640x480", {640, 480}}, Case{"big", {1024, 768}}}) {
    std::unique_ptr<PageHost> host = launch(c.setting, std::nullopt);
    ASSERT_NE(host, nullptr);
    GtkWindow* window = shownWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(platform::testing::runMainLoopUntil([&] { return gtkSize(window) == c.expected; }))
        << c.setting << ": " << gtkSize(window).width << "x" << gtkSize(window).height;
    if (std::string(c.setting) == "big") {
      EXPECT_TRUE(host->log().contains("The WindowSize preference \"big\" is not"));
    }
  }
}

}  // namespace
