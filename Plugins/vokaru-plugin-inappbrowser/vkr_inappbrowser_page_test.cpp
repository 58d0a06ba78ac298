// The in-app browser end to end: a real page opens loopback pages in the browser window (a
// second WebKit web view), injects script and style, and hears the window's events.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser.h"
#include "VokaruLib/testing/page_host_test.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/process_tree.h"
#include "platform/ui/application.h"

namespace {

using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="InAppBrowser">
    <param name="ios-package" value="VKRInAppBrowser" />
  </feature>
</widget>)";

// Events arrive as "<type> <url>[ <code>]"; keep() stores a Promise's outcome under its name.
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-inappbrowser/inappbrowser.js"></script><script>
  var iab = vokaru.require('vokaru-plugin-inappbrowser.inappbrowser');
  var events = [];
  var answers = {};
  function keep(name, promise) {
    promise.then(function (value) { answers[name] = String(JSON.stringify(value)); },
                 function (error) { answers[name] = 'fail ' + error.message; });
  }
  function open(url, target, options) {
    events = [];
    keep('open', iab.open(url, target, options, function (event) {
      events.push(event.type + ' ' + (event.url || '') + (event.code ? ' ' + event.code : ''));
    }));
  }
  function saw(type) {
    return events.some(function (event) { return event.indexOf(type + ' ') === 0; });
  }
</script></head><body></body></html>)";

// A page of the app's own that takes the bridge's script, as the app's pages do.
constexpr const char* kAppPage = R"(<!DOCTYPE html>
<html><head><title>App page</title><script src="../vokaru.js"></script></head>
<body>app</body></html>)";

// The web processes running for this test now.
std::set<pid_t> webProcesses() {
  std::set<pid_t> found;
  for (const platform::testing::ProcessInfo& process : platform::testing::processTree(getpid())) {
    if (process.state != 'Z' && process.name.starts_with("WebKitWebProces")) {
      found.insert(process.pid);
    }
  }
  return found;
}

std::string readSource(const char* path) {
  std::ifstream file(path);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

class RecordingOpener : public platform::ui::URLOpener {
 public:
  bool canOpenURL(const std::string&) override { return true; }
  void openURL(const std::string& url, std::function<void(bool)> completion) override {
    opened.push_back(url);
    if (completion) completion(true);
  }
  std::vector<std::string> opened;
};

class InAppBrowserPageTest : public SharedPageHostTest<InAppBrowserPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/sections/app-page.html", kAppPage},
            {"www/plugins/vokaru-plugin-inappbrowser/inappbrowser.js",
             readSource(VKR_INAPPBROWSER_MODULE)}};
  }

  static void SetUpTestSuite() {
    server_ = std::make_unique<platform::testing::HttpServer>();
    auto& routes = server_->routes();
    routes.Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(
          "<html><head><title>Loopback page</title></head><body>page</body></html>", "text/html");
    });
    routes.Get("/cookies.html", [](const httplib::Request&, httplib::Response& response) {
      response.set_header("Set-Cookie", "session=1; Path=/");
      response.headers.emplace("Set-Cookie", "lasting=2; Path=/; Max-Age=3600");
      response.set_content("<html><body>cookies</body></html>", "text/html");
    });
    routes.Get("/script.js", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("window.injected = 42;", "application/javascript");
    });
    routes.Get("/style.css", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("body { margin-left: 17px }", "text/css");
    });
    server_->start();
    SharedPageHostTest::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    SharedPageHostTest::TearDownTestSuite();
    server_.reset();
  }

 protected:
  void SetUp() override { resetPage("answers = {}; events = []"); }
  void TearDown() override {
    if (auto plugin = browser(); plugin && plugin->inAppBrowserViewController()) {
      host_->eval("iab.close()");
      platform::testing::runMainLoopUntil([&] { return !plugin->inAppBrowserViewController(); });
    }
    platform::testing::runMainLoopUntil(
        [] { return !host_->controller()->presentedViewController(); });
  }

  static std::string url(const char* path) { return server_->url(path); }
  static std::shared_ptr<VKRInAppBrowser> browser() {
    return std::dynamic_pointer_cast<VKRInAppBrowser>(
        host_->controller()->getCommandInstance("InAppBrowser"));
  }
  // Opens the URL in the window and waits for its first load to end.
  static void openAndWait(const std::string& address, const std::string& options = "") {
    host_->eval("open('" + address + "', '_blank', '" + options + "')");
    ASSERT_TRUE(host_->waitFor("saw('loadstop') || saw('loaderror')")) << host_->eval("events");
  }
  static std::string script(const std::string& name, const std::string& code) {
    host_->eval("keep('" + name + "', iab.executeScript(" + code + "))");
    return answer(name);
  }

  static inline std::unique_ptr<platform::testing::HttpServer> server_;
};

TEST_F(InAppBrowserPageTest, AWindowLoadsAPageTakesInjectionsAndClosesWithExit) {
  openAndWait(url("/page.html"));
  EXPECT_EQ(answer("open"), "undefined");
  EXPECT_EQ(host_->eval("events.join('|')"),
            "loadstart " + url("/page.html") + "|loadstop " + url("/page.html"));
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [] { return host_->controller()->presentedViewController() != nullptr; }));
  EXPECT_EQ(browser()->inAppBrowserViewController()->addressLabel()->text(), url("/page.html"));

  EXPECT_EQ(script("title", "'document.title'"), R"(["Loopback page"])");
  EXPECT_EQ(script("sum", "'[1, \"two\", {three: 3}]'"), R"([[1,"two",{"three":3}]])");

  host_->eval("keep('css', iab.insertCSS('body { padding-top: 9px }'))");
  EXPECT_EQ(answer("css"), "[]");
  EXPECT_EQ(script("padding", "'getComputedStyle(document.body).paddingTop'"), R"(["9px"])");
  host_->eval("keep('cssFile', iab.insertCSSFile('" + url("/style.css") + "'))");
  EXPECT_EQ(answer("cssFile"), "[]");
  EXPECT_EQ(script("margin", "'getComputedStyle(document.body).marginLeft'"), R"(["17px"])");
  host_->eval("keep('file', iab.injectScriptFile('" + url("/script.js") + "'))");
  EXPECT_EQ(answer("file"), "[]");
  EXPECT_EQ(script("injected", "'window.injected'"), "[42]");

  host_->eval("iab.close()");
  ASSERT_TRUE(host_->waitFor("saw('exit')"));
  EXPECT_TRUE(platform::testing::runMainLoopUntil(
      [] { return host_->controller()->presentedViewController() == nullptr; }));
  EXPECT_EQ(browser()->inAppBrowserViewController(), nullptr);
}

// A window on one of the app's pages starts no web process of its own; once its page leaves for
// another site, that site's page runs in a process apart from the app's. Neither page reaches the
// app's native code.
TEST_F(InAppBrowserPageTest, AWindowOnAnAppsPageSharesTheAppsProcessUntilItsPageLeaves) {
  const std::set<pid_t> before = webProcesses();
  ASSERT_FALSE(before.empty());
  openAndWait("sections/app-page.html");
  ASSERT_TRUE(host_->waitFor("saw('loadstop')")) << host_->eval("events");
  std::shared_ptr<VKRInAppBrowserViewController> window = browser()->inAppBrowserViewController();
  EXPECT_TRUE(window->inAppProcess());
  EXPECT_EQ(script("title", "'document.title'"), R"(["App page"])");
  for (pid_t pid : webProcesses()) EXPECT_TRUE(before.contains(pid)) << "a new web process";

  // The window's page has the bridge's script but not the bridge: a command it sends goes
  // nowhere, while the app's own still do.
  window->webView()->evaluateJavaScript(
      "try { vokaru.exec(null, null, 'InAppBrowser', 'close', []); document.title = 'sent'; } "
      "catch (e) { document.title = String(e); }",
      nullptr);
  EXPECT_EQ(script("sent", "'document.title'"), R"(["sent"])");
  EXPECT_EQ(script("after", "'1 + 1'"), "[2]");
  EXPECT_EQ(browser()->inAppBrowserViewController(), window);
  EXPECT_EQ(host_->eval("saw('exit')"), "false");

  // The page leaves the app's pages by script.
  host_->eval("events = []");
  window->webView()->evaluateJavaScript("location.href = '" + url("/page.html") + "'", nullptr);
  ASSERT_TRUE(host_->waitFor("saw('loadstop') || saw('loaderror')")) << host_->eval("events");
  EXPECT_EQ(host_->eval("events.join('|')"),
            "loadstart " + url("/page.html") + "|loadstop " + url("/page.html"));
  EXPECT_FALSE(window->inAppProcess());
  EXPECT_EQ(script("outside", "'document.title + typeof vokaru'"), R"(["Loopback pageundefined"])");
  std::set<pid_t> added;
  for (pid_t pid : webProcesses()) {
    if (!before.contains(pid)) added.insert(pid);
  }
  EXPECT_EQ(added.size(), 1u) << "the other site's page has a process of its own";

  // The back button leads to the app's page again, which stays in the window's own process.
  host_->eval("events = []");
  ASSERT_TRUE(window->backButton()->isEnabled());
  window->goBack();
  ASSERT_TRUE(host_->waitFor("saw('loadstop') || saw('loaderror')")) << host_->eval("events");
  EXPECT_EQ(script("back", "'document.title'"), R"(["App page"])");
  EXPECT_FALSE(window->inAppProcess());
}

TEST_F(InAppBrowserPageTest, AnUnreachableURLGivesALoadError) {
  auto closed = std::make_unique<platform::testing::HttpServer>();
  closed->start();
  const std::string address = closed->url("/gone.html");
  closed.reset();  // nothing listens there any more
  openAndWait(address);
  EXPECT_EQ(host_->eval("events[0]"), "loadstart " + address);
  EXPECT_EQ(host_->eval("events[1].split(' ').slice(0, 2).join(' ')"), "loaderror " + address);
  EXPECT_EQ(browser()->inAppBrowserViewController()->addressLabel()->text(), "Load Error");
}

TEST_F(InAppBrowserPageTest, AHiddenWindowLoadsAndShowsOnRequest) {
  openAndWait(url("/page.html"), "hidden=yes");
  platform::testing::runMainLoopUntil([] { return false; }, platform::seconds(0.05));
  EXPECT_EQ(host_->controller()->presentedViewController(), nullptr);
  host_->eval("iab.show()");
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [] { return host_->controller()->presentedViewController() != nullptr; }));
  host_->eval("iab.close()");
  ASSERT_TRUE(host_->waitFor("saw('exit')"));
  EXPECT_EQ(host_->eval("events.length"), "3");
}

TEST_F(InAppBrowserPageTest, ClearingTheCacheRemovesTheCookiesTheWindowsPagesSet) {
  openAndWait(url("/cookies.html"));
  EXPECT_EQ(script("set", "'document.cookie.split(\"; \").sort().join(\",\")'"),
            R"(["lasting=2,session=1"])");
  host_->eval("iab.close()");
  ASSERT_TRUE(host_->waitFor("saw('exit')"));

  openAndWait(url("/page.html"), "clearsessioncache=yes");
  EXPECT_EQ(script("session", "'document.cookie'"), R"(["lasting=2"])");
  // Reused window: the options clear again before the next page loads.
  host_->eval("answers = {}");
  openAndWait(url("/page.html"), "clearcache=yes");
  EXPECT_EQ(script("all", "'document.cookie'"), R"([""])");
}

TEST_F(InAppBrowserPageTest, SystemTargetsGoToTheSystemsOpener) {
  auto opener = std::make_shared<RecordingOpener>();
  platform::ui::Application::shared().setURLOpener(opener);
  host_->eval("open('https://example.test/elsewhere', '_system', '')");
  EXPECT_EQ(answer("open"), "undefined");
  EXPECT_EQ(opener->opened, std::vector<std::string>{"https://example.test/elsewhere"});
  EXPECT_EQ(browser()->inAppBrowserViewController(), nullptr);
  platform::ui::Application::shared().setURLOpener(nullptr);
}

TEST_F(InAppBrowserPageTest, AHostilePageInTheWindowCannotAnswerForTheApp) {
  openAndWait(url("/page.html"));
  const std::string openId = browser()->callbackId().value_or("");
  ASSERT_NE(openId, "");
  // The page in the window knows (or guesses) the id of the open callback, which is kept, and
  // tries to hand the app an event of its own.
  browser()->inAppBrowserViewController()->webView()->evaluateJavaScript(
      "var f = document.createElement('iframe'); document.body.appendChild(f); f.src = "
      "'vkr-iab://" +
          openId +
          "/' + encodeURIComponent(JSON.stringify("
          "[{type: 'loadstop', url: 'forged'}]));",
      nullptr);
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return host_->log().contains("Dropped an in-app browser answer for " + openId); }));
  EXPECT_EQ(script("after", "'1 + 1'"), "[2]");
  EXPECT_EQ(host_->eval("events.join('|').indexOf('forged')"), "-1");
}

}  // namespace
