// The in-app browser against fake web views: the window's layout, its user-agent lock, the
// page-load events, injections and their answers, and where each target opens.
#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser.h"

#include <gtest/gtest.h>

#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/testing/fake_engine.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/dispatch/notification_center.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/web/testing/fake_web_view.h"

namespace {

using platform::ui::Application;
using platform::ui::Rect;
using platform::web::NavigationAction;
using platform::web::testing::FakeWebView;
using vokaru::testing::RecordingCommandDelegate;

class RecordingOpener : public platform::ui::URLOpener {
 public:
  explicit RecordingOpener(bool canOpen = true) : canOpen_(canOpen) {}
  bool canOpenURL(const std::string&) override { return canOpen_; }
  void openURL(const std::string& url, std::function<void(bool)> completion) override {
    opened.push_back(url);
    if (completion) completion(true);
  }
  std::vector<std::string> opened;

 private:
  bool canOpen_;
};

// "<status> <message as JSON> <keep>", for comparing answers.
std::string describe(const RecordingCommandDelegate::Sent& sent) {
  return std::to_string(sent.result.status()) + " " + sent.result.argumentsAsJSON() +
         (sent.result.keepCallback() ? " keep" : "") + " -> " + sent.callbackId.value_or("(none)");
}

class InAppBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_->fakeWebView().setURL("file:///app/www/index.html");
    plugin_ = std::make_shared<VKRInAppBrowser>(engine_);
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }
  void TearDown() override {
    if (plugin_->inAppBrowserViewController()) plugin_->inAppBrowserViewController()->close();
    Application::shared().setURLOpener(nullptr);
    // Deferred dismissals and cookie clearing run before the next test.
    platform::testing::runMainLoopUntil([] { return false; }, platform::seconds(0.001));
  }

  void run(const std::string& action, platform::Value::Array arguments,
           std::optional<std::string> callbackId = "InAppBrowser1") {
    VKRInvokedUrlCommand command(std::move(arguments), std::move(callbackId), "InAppBrowser",
                                 action);
    ASSERT_TRUE(plugin_->performAction(action, command));
  }
  std::vector<std::string> answers() {
    std::vector<std::string> described;
    for (const auto& sent : delegate_->sent()) described.push_back(describe(sent));
    delegate_->clear();
    return described;
  }
  FakeWebView& window() {
    return static_cast<FakeWebView&>(*plugin_->inAppBrowserViewController()->webView());
  }
  // The window's page navigates (a frame's navigation when `mainFrame` is false).
  bool navigate(const std::string& url, bool mainFrame = true) {
    NavigationAction action;
    action.request = platform::web::URLRequest(url);
    action.request.mainDocumentURL = mainFrame ? url : "http://127.0.0.1/page.html";
    action.mainFrame = mainFrame;
    return window().simulateShouldStart(action);
  }

  platform::testing::TestApp app_;
  platform::web::testing::ScopedFakeWebEngine webEngine_;
  std::shared_ptr<vokaru::testing::FakeEngine> engine_ =
      std::make_shared<vokaru::testing::FakeEngine>();
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRInAppBrowser> plugin_;
};

TEST_F(InAppBrowserTest, AWindowReportsItsLoadsToTheOpenCallbackUntilItCloses) {
  run("open", {"page.html", "_blank", "hidden=yes"});
  EXPECT_EQ(answers(), std::vector<std::string>{"1 null keep -> InAppBrowser1"});
  ASSERT_NE(plugin_->inAppBrowserViewController(), nullptr);
  // A relative URL opens beside the app's page, with the engine's own user agent.
  ASSERT_EQ(window().loads().size(), 1u);
  EXPECT_EQ(window().loads()[0].request.url, "file:///app/www/page.html");
  EXPECT_EQ(window().loads()[0].userAgent, VKRUserAgentUtil::originalUserAgent());
  EXPECT_NE(plugin_->inAppBrowserViewController()->userAgentLockToken(), 0);

  ASSERT_TRUE(window().simulatePageLoad("file:///app/www/page.html"));
  window().simulateShouldStart("http://127.0.0.1:1/");
  window().simulateDidStart();
  window().simulateDidFail(platform::Error::withDescription("NSURLErrorDomain", -1004, "refused"));
  EXPECT_EQ(answers(),
            (std::vector<std::string>{
                R"(1 {"type":"loadstart","url":"file:///app/www/page.html"} keep -> InAppBrowser1)",
                R"(1 {"type":"loadstop","url":"file:///app/www/page.html"} keep -> InAppBrowser1)",
                R"(1 {"type":"loadstart","url":"http://127.0.0.1:1/"} keep -> InAppBrowser1)",
                R"(9 {"type":"loaderror","url":"http://127.0.0.1:1/","code":-1004,)"
                R"("message":"refused"} keep -> InAppBrowser1)"}));
  EXPECT_EQ(plugin_->inAppBrowserViewController()->addressLabel()->text(), "Load Error");

  // A second open navigates the same window.
  run("open", {"https://example.test/", "_blank"}, "InAppBrowser2");
  EXPECT_EQ(webEngine_.engine().createdViews().size(), 1u);
  ASSERT_EQ(window().loads().size(), 2u);
  EXPECT_EQ(window().loads()[1].request.url, "https://example.test/");
  answers();

  run("close", {}, std::nullopt);
  EXPECT_EQ(answers(), std::vector<std::string>{R"(1 {"type":"exit"} -> InAppBrowser2)"});
  EXPECT_EQ(plugin_->inAppBrowserViewController(), nullptr);
  EXPECT_FALSE(plugin_->callbackId().has_value());
  run("close", {}, std::nullopt);
  EXPECT_TRUE(answers().empty());
}

// A window opened on one of the app's pages runs in the app's web process only while its page is
// one of the app's: each way of leaving them ends in a fresh view of its own process, and the
// page still reports its loads as one web view would.
TEST_F(InAppBrowserTest, AWindowLeavesTheAppsProcessWithTheFirstPageThatIsNotTheApps) {
  using platform::web::NavigationType;
  auto controller = std::make_shared<VKRViewController>();
  controller->setStartPage("file:///app/www/index.html");
  plugin_->setViewController(controller);
  Application::shared().setURLOpener(std::make_shared<RecordingOpener>());
  const auto& made = webEngine_.engine().creationOptions();
  const std::string appPage = "file:///app/www/sections/page.html";
  auto event = [](const std::string& type, const std::string& url) {
    return R"(1 {"type":")" + type + R"(","url":")" + url + R"("} keep -> InAppBrowser1)";
  };
  struct Way {
    const char* name;
    std::string target;
    // Leaves the app's pages from the window's view, which answers whether it let it go on.
    std::function<bool(FakeWebView& shared)> leave;
    std::vector<std::string> before;  // what the page heard before the target loads
  };
  const std::string outside = "https://example.test/page.html";
  const std::string upwards = "file:///app/www/../elsewhere.html";
  // A navigation the page starts in the window.
  auto navigation = [](const std::string& url, NavigationType type) {
    return [url, type](FakeWebView& view) { return view.simulateShouldStart(url, type); };
  };
  const Way ways[] = {
      {"link", outside, navigation(outside, NavigationType::LinkClicked), {}},
      {"form", outside, navigation(outside, NavigationType::FormSubmitted), {}},
      {"script", outside, navigation(outside, NavigationType::Other), {}},
      {"history", outside, navigation(outside, NavigationType::BackForward), {}},
      {"file out of the app's folder",
       upwards,
       navigation(upwards, NavigationType::LinkClicked),
       {}},
      {"redirect",
       outside,
       [&](FakeWebView& view) {
         view.simulateShouldStart("file:///app/www/other.html");
         view.simulateDidStart();
         return view.simulateShouldStart(outside);
       },
       {event("loadstart", "file:///app/www/other.html")}},
      {"later open",
       outside,
       [&](FakeWebView&) {
         run("open", {outside, "_blank"});
         return false;
       },
       {"1 null keep -> InAppBrowser1"}},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    run("open", {"sections/page.html", "_blank", "hidden=yes"});
    std::shared_ptr<VKRInAppBrowserViewController> browser = plugin_->inAppBrowserViewController();
    ASSERT_EQ(made.back().relatedView, engine_->engineWebView());
    EXPECT_TRUE(browser->inAppProcess());
    FakeWebView& shared = window();
    // Pages of the app's own, frames of any site, and links handed to other programs stay
    // where they are.
    ASSERT_TRUE(shared.simulatePageLoad(appPage));
    ASSERT_TRUE(shared.simulatePageLoad("file:///app/www/index.html#top"));
    EXPECT_TRUE(navigate(outside, false));
    EXPECT_FALSE(navigate("itms-apps://apps.vokaru.org/app/2"));
    EXPECT_EQ(&window(), &shared);
    const size_t viewsBefore = made.size();
    answers();

    EXPECT_FALSE(way.leave(shared));
    ASSERT_EQ(made.size(), viewsBefore + 1);
    EXPECT_EQ(made.back().relatedView, nullptr);
    EXPECT_FALSE(browser->inAppProcess());
    ASSERT_NE(&window(), &shared);
    EXPECT_EQ(shared.superview(), nullptr);
    EXPECT_EQ(window().superview(), browser->view());
    EXPECT_EQ(window().frame(), shared.frame());
    ASSERT_EQ(window().loads().size(), 1u);
    EXPECT_EQ(window().loads()[0].request.url, way.target);
    EXPECT_EQ(window().loads()[0].userAgent, VKRUserAgentUtil::originalUserAgent());
    ASSERT_TRUE(window().simulatePageLoad(way.target));
    std::vector<std::string> heard = way.before;
    heard.push_back(event("loadstart", way.target));
    heard.push_back(event("loadstop", way.target));
    EXPECT_EQ(answers(), heard);

    // Back from there is the app's page the window showed before; the window keeps its own
    // process, also for the app's pages.
    EXPECT_TRUE(browser->backButton()->isEnabled());
    browser->goBack();
    ASSERT_EQ(window().loads().size(), 2u);
    EXPECT_EQ(window().loads()[1].request.url, "file:///app/www/index.html#top");
    ASSERT_TRUE(window().simulatePageLoad("file:///app/www/index.html#top"));
    EXPECT_FALSE(browser->backButton()->isEnabled());
    EXPECT_EQ(made.size(), viewsBefore + 1);
    run("close", {}, std::nullopt);
    answers();
  }
}

TEST_F(InAppBrowserTest, OnlyAWindowOnTheAppsPageWhileTheAppShowsOneStartsInTheAppsProcess) {
  auto controller = std::make_shared<VKRViewController>();
  controller->setStartPage("file:///app/www/index.html");
  const auto& made = webEngine_.engine().creationOptions();
  struct Case {
    const char* appShows;
    const char* opened;
    bool withController;
    bool inAppProcess;
  };
  const Case cases[] = {
      {"file:///app/www/index.html", "file:///app/www/page.html", true, true},
      {"file:///app/www/index.html", "https://example.test/", true, false},
      {"file:///app/www/index.html", "file:///elsewhere/page.html", true, false},
      {"https://example.test/", "file:///app/www/page.html", true, false},
      {"file:///app/www/index.html", "file:///app/www/page.html", false, false},
  };
  for (const Case& c : cases) {
    engine_->fakeWebView().setURL(c.appShows);
    plugin_->setViewController(c.withController ? controller : nullptr);
    run("open", {c.opened, "_blank", "hidden=yes"});
    ASSERT_NE(plugin_->inAppBrowserViewController(), nullptr);
    EXPECT_EQ(plugin_->inAppBrowserViewController()->inAppProcess(), c.inAppProcess) << c.opened;
    EXPECT_EQ(made.back().relatedView != nullptr, c.inAppProcess) << c.opened;
    run("close", {}, std::nullopt);
  }
}

TEST_F(InAppBrowserTest, AMissingURLIsAnErrorThatKeepsTheCallback) {
  run("open", {});
  run("open", {platform::Value(3), "_blank"});
  EXPECT_EQ(answers(), (std::vector<std::string>{
                           R"(9 "incorrect number of arguments" keep -> InAppBrowser1)",
                           R"(9 "incorrect number of arguments" keep -> InAppBrowser1)"}));
  EXPECT_EQ(plugin_->inAppBrowserViewController(), nullptr);
}

TEST_F(InAppBrowserTest, InjectedScriptsAnswerThroughTheirFrameOnlyToIdsThePluginIssued) {
  run("open", {"https://example.test/", "_blank", "hidden=yes"});
  answers();
  run("injectScriptCode", {"1+1"}, "InAppBrowser7");
  ASSERT_EQ(window().scripts().size(), 2u);
  EXPECT_NE(window().scripts()[0].find("_vkrIframeBridge"), std::string::npos);
  EXPECT_EQ(window().scripts()[1],
            "_vkrIframeBridge.src='vkr-iab://InAppBrowser7/'+encodeURIComponent(JSON.stringify(["
            "eval(\"1+1\")]));");

  EXPECT_FALSE(navigate("vkr-iab://InAppBrowser7/%5B2%5D", false));
  EXPECT_EQ(answers(), std::vector<std::string>{"1 [2] -> InAppBrowser7"});
  // The same answer again, or one for an id never issued: refused and dropped.
  EXPECT_FALSE(navigate("vkr-iab://InAppBrowser7/%5B3%5D", false));
  EXPECT_FALSE(navigate("vkr-iab://InAppBrowser8/%5B3%5D", false));
  EXPECT_TRUE(answers().empty());
  // An id outside the pattern is no answer: the plugin lets the window go on with it (the frame
  // then refuses a scheme it cannot load).
  NavigationAction foreign;
  foreign.request = platform::web::URLRequest("vkr-iab://Foo/%5B%5D");
  foreign.mainFrame = false;
  EXPECT_TRUE(plugin_->shouldStartLoad(window(), foreign));
  EXPECT_TRUE(answers().empty());

  // Files and styles answer with an empty array once loaded; their source is a string literal.
  run("injectStyleCode", {"p { color: red }'); alert(1); ('"}, "InAppBrowser9");
  EXPECT_EQ(window().scripts().back(),
            "(function(d) { var c = d.createElement('style'); c.innerHTML = \"p { color: red }'); "
            "alert(1); ('\"; c.onload = function() { _vkrIframeBridge.src='vkr-iab://"
            "InAppBrowser9'; }; d.body.appendChild(c); })(document)");
  EXPECT_FALSE(navigate("vkr-iab://InAppBrowser9", false));
  EXPECT_EQ(answers(), std::vector<std::string>{"1 [] -> InAppBrowser9"});

  // Without a callback the source runs as it is, and nothing answers.
  const size_t before = window().scripts().size();
  run("injectScriptCode", {"document.title"}, "INVALID");
  EXPECT_EQ(window().scripts().size(), before + 2);
  EXPECT_EQ(window().scripts().back(), "document.title");
}

TEST_F(InAppBrowserTest, ACallbackIdThatCannotBeAnsweredIsRefusedBeforeItReachesAScript) {
  run("open", {"https://example.test/", "_blank", "hidden=yes"});
  answers();
  for (const char* id : {"InAppBrowser1%@%@", "InAppBrowser1'};alert(1);//", "Other12"}) {
    run("injectScriptCode", {"1"}, id);
    run("injectStyleFile", {"style.css"}, id);
  }
  EXPECT_TRUE(window().scripts().empty());
  for (const std::string& answer : answers()) {
    EXPECT_EQ(answer.substr(0, 24), R"(9 "invalid callback id" )");
  }
}

TEST_F(InAppBrowserTest, AnswerPathsDecodeToArraysOrAJSONError) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "1 []"},
      {"/", "1 []"},
      {"/%5B1,%22a%22,null%5D", R"(1 [1,"a",null])"},
      {"/%7B%22a%22:1%7D", "8 null"},
      {"/2", "8 null"},
      {"/%5B1", "8 null"},
      {"/%FF%FE", "8 null"},
  };
  for (const auto& [path, expected] : cases) {
    VKRPluginResult result = VKRInAppBrowser::resultForAnswerPath(path);
    EXPECT_EQ(std::to_string(result.status()) + " " + result.argumentsAsJSON(), expected) << path;
  }
}

TEST_F(InAppBrowserTest, TheWindowLaysItsViewsOutAsTheOptionsSay) {
  struct Case {
    const char* options;
    bool labelHidden;
    Rect webView;
    double labelY;
  };
  const Rect bounds = platform::ui::Screen::main().bounds();
  const double h = bounds.height(), w = bounds.width();
  const Case cases[] = {
      {"", false, Rect(0, 0, w, h - 65), h - 65},
      {"location=no", true, Rect(0, 0, w, h - 44), h - 65},
      {"location=yes,toolbar=no", false, Rect(0, 0, w, h - 21), h - 21},
      {"location=no,toolbar=no", true, Rect(0, 0, w, h), h - 65},
  };
  for (const Case& c : cases) {
    auto window = VKRInAppBrowserViewController::create(
        "agent", "previous", VKRInAppBrowserOptions::parseOptions(c.options));
    window->showLocationBar(window->browserOptions().location);
    window->showToolBar(window->browserOptions().toolbar, window->browserOptions().toolbarposition);
    EXPECT_EQ(window->addressLabel()->isHidden(), c.labelHidden) << c.options;
    EXPECT_EQ(window->webView()->frame(), c.webView) << c.options;
    EXPECT_EQ(window->addressLabel()->frame().y(), c.labelY) << c.options;
    // Showing what shows changes nothing.
    window->showLocationBar(!c.labelHidden);
    EXPECT_EQ(window->webView()->frame(), c.webView) << c.options;
  }

  for (const char* position : {"bottom", "top"}) {
    auto window = VKRInAppBrowserViewController::create(
        "agent", "previous", VKRInAppBrowserOptions::parseOptions("location=no,toolbar=no"));
    window->showLocationBar(false);
    window->showToolBar(false, position);
    window->showToolBar(true, position);
    const double y = std::string(position) == "top" ? 44 : 0;
    EXPECT_EQ(window->webView()->frame(), Rect(0, y, w, h - 44)) << position;
  }
}

TEST_F(InAppBrowserTest, TheWindowLoadsOnlyOnceTheUserAgentLockIsHandedOn) {
  int64_t token = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t granted) { token = granted; });
  ASSERT_NE(token, 0);
  run("open", {"https://example.test/", "_blank", "hidden=yes"});
  EXPECT_TRUE(window().loads().empty());
  VKRUserAgentUtil::releaseLock(&token);
  ASSERT_EQ(window().loads().size(), 1u);
  EXPECT_EQ(window().loads()[0].userAgent, VKRUserAgentUtil::originalUserAgent());

  // A page without a body gives the main web view its agent back; the window keeps the lock.
  window().setScriptResult("document.body==null", std::string("true"));
  window().simulatePageLoad("https://example.test/");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([] {
    return platform::UserDefaults::standard()->stringForKey(
               VKRUserAgentUtil::kWebViewUserAgentKey) == "RecordingCommandDelegate";
  }));
  EXPECT_NE(plugin_->inAppBrowserViewController()->userAgentLockToken(), 0);
}

TEST_F(InAppBrowserTest, SystemTargetsAndStoreLinksGoToOtherPrograms) {
  auto opener = std::make_shared<RecordingOpener>();
  Application::shared().setURLOpener(opener);
  run("open", {"https://example.test/a", "_system"});
  run("open", {"https://apps.vokaru.org/app/1", "_blank"});
  EXPECT_EQ(opener->opened,
            (std::vector<std::string>{"https://example.test/a", "https://apps.vokaru.org/app/1"}));
  EXPECT_EQ(plugin_->inAppBrowserViewController(), nullptr);

  run("open", {"https://example.test/", "_blank", "hidden=yes"});
  EXPECT_FALSE(navigate("itms-apps://apps.vokaru.org/app/2"));
  EXPECT_EQ(opener->opened.back(), "itms-apps://apps.vokaru.org/app/2");
  EXPECT_EQ(window().stopCount(), 1);

  // No program takes it: whoever can hears of it; the page is still told OK.
  Application::shared().setURLOpener(std::make_shared<RecordingOpener>(false));
  std::vector<std::string> heard;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPluginHandleOpenURLNotification, nullptr, [&](const platform::Notification& n) {
        if (auto url = n.objectAs<std::string>()) heard.push_back(*url);
      });
  answers();
  run("open", {"myapp://x", "_system"}, "InAppBrowser3");
  EXPECT_EQ(heard, std::vector<std::string>{"myapp://x"});
  EXPECT_EQ(answers(), std::vector<std::string>{"1 null keep -> InAppBrowser3"});
}

TEST_F(InAppBrowserTest, SelfLoadsInTheAppsWebView) {
  run("open", {"other.html", "_self"});
  ASSERT_EQ(engine_->fakeWebView().loads().size(), 1u);
  EXPECT_EQ(engine_->fakeWebView().loads()[0].request.url, "file:///app/www/other.html");
  EXPECT_EQ(plugin_->inAppBrowserViewController(), nullptr);
  EXPECT_EQ(answers(), std::vector<std::string>{"1 null keep -> InAppBrowser1"});
}

TEST_F(InAppBrowserTest, ClearingRemovesTheWebViewsCookiesBeforeThePageLoads) {
  using platform::web::WebCookie;
  auto& cookies = webEngine_.engine().cookies();
  cookies = {{"session", "example.test", "/", true},
             {"lasting", "example.test", "/", false},
             {"file", ".^filecookies^", "/", true}};
  run("open", {"https://example.test/", "_blank", "hidden=yes,clearsessioncache=yes"});
  EXPECT_TRUE(window().loads().empty());
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !window().loads().empty(); }));
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0].name, "lasting");

  run("open", {"https://example.test/", "_blank", "clearcache=yes,hidden=yes"});
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return window().loads().size() == 2; }));
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].name, "file");
}

}  // namespace
