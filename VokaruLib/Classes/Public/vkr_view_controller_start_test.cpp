// The host controller's start-up, start page, engine choice and life cycle, on the fake web engine.
#include <gtest/gtest.h>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_engine.h"
#include "VokaruLib/Classes/Public/vkr_app_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/dispatch/notification_center.h"
#include "platform/net/cookie_storage.h"
#include "platform/net/url_cache.h"
#include "platform/storage/app_home.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/pasteboard.h"
#include "platform/web/testing/fake_web_view.h"
#include "platform/web/web_errors.h"

namespace {

using platform::testing::LogCapture;
using platform::testing::TestApp;
using platform::web::testing::FakeWebView;
using platform::web::testing::ScopedFakeWebEngine;

// What start-up plugins find when they start.
std::vector<std::string>& startupRecord() {
  static std::vector<std::string> record;
  return record;
}

class StartupProbePlugin : public VKRPlugin {
 public:
  explicit StartupProbePlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {}
  void pluginInitialize() override {
    auto view = std::dynamic_pointer_cast<FakeWebView>(webView());
    const bool fixedUp =
        platform::UserDefaults::standard()->objectForKey("WebKitStoreWebDataForBackup").isBool();
    startupRecord().push_back(std::string(view ? "web view" : "no web view") + ", " +
                              std::to_string(view ? view->loads().size() : 0) + " loads, " +
                              (fixedUp ? "storage settled" : "storage unsettled"));
  }
};
VKR_REGISTER_PLUGIN(StartupProbePlugin);

class PendingPlugin : public VKRPlugin {
 public:
  explicit PendingPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    setHasPendingOperation(true);
  }
};
VKR_REGISTER_PLUGIN(PendingPlugin);

// Engines a config.xml may name: one that refuses every request, one that takes any.
class RefusingEngine : public VKRUIWebViewEngine {
 public:
  using VKRUIWebViewEngine::VKRUIWebViewEngine;
  bool canLoadRequest(const platform::web::URLRequest&) override { return false; }
};
VKR_REGISTER_WEB_VIEW_ENGINE(RefusingEngine);

class AcceptingEngine : public VKRUIWebViewEngine {
 public:
  using VKRUIWebViewEngine::VKRUIWebViewEngine;
};
VKR_REGISTER_WEB_VIEW_ENGINE(AcceptingEngine);

std::string config(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<widget>\n" + body + "\n</widget>";
}

// A throw-away app with the fake web engine, its config.xml and www/ files, launched through the
// app delegate.
class StartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    startupRecord().clear();
  }
  void TearDown() override {
    if (delegate_) delegate_->setViewController(nullptr);
    delegate_.reset();
    platform::ui::Application::resetShared();
  }

  void writeBundle(const std::string& configBody,
                   const std::vector<std::string>& files = {"index.html"}) {
    app_.writeBundleFile("config.xml", config(configBody));
    for (const std::string& file : files) app_.writeBundleFile("www/" + file, "<p>" + file);
  }
  bool launch() {
    delegate_ = std::make_shared<VKRAppDelegate>();
    platform::ui::Application::shared().setDelegate(delegate_);
    return platform::ui::Application::shared().finishLaunching();
  }
  std::shared_ptr<VKRViewController> controller() { return delegate_->viewController(); }
  FakeWebView& view() { return dynamic_cast<FakeWebView&>(*controller()->webView()); }
  std::string wwwURL(const std::string& file) {
    return "file://" + (app_.bundlePath() / "www" / file).string();
  }

  TestApp app_;
  ScopedFakeWebEngine engine_;
  std::shared_ptr<VKRAppDelegate> delegate_;
};

TEST_F(StartTest, StartUpRunsInOrder) {
  writeBundle(R"(
    <feature name="Zeta"><param name="ios-package" value="StartupProbePlugin" onload="true"/></feature>
    <feature name="Alpha"><param name="ios-package" value="PendingPlugin" onload="true"/></feature>)");
  LogCapture log;
  ASSERT_TRUE(launch());

  // The app delegate first set up the process's web state.
  EXPECT_EQ(platform::net::HTTPCookieStorage::shared()->cookieAcceptPolicy(),
            platform::net::HTTPCookieAcceptPolicy::Always);
  std::shared_ptr<platform::net::URLCache> cache = platform::net::URLCache::shared();
  EXPECT_EQ(cache->memoryCapacity(), 8u * 1024 * 1024);
  EXPECT_EQ(cache->diskCapacity(), 32u * 1024 * 1024);
  EXPECT_EQ(cache->diskPath(), app_.appHome() / "Library/Caches/nsurlcache");

  // Then the window with the controller as root, whose view loaded.
  ASSERT_NE(delegate_->window(), nullptr);
  EXPECT_TRUE(delegate_->window()->isKeyWindow());
  EXPECT_EQ(delegate_->window()->rootViewController(), controller());
  EXPECT_EQ(controller()->webView()->superview(), controller()->view());

  // The start-up plugins started in file order, after the engine and the storage settled and
  // before the start page loaded.
  EXPECT_EQ(startupRecord(), (std::vector<std::string>{"web view, 0 loads, storage settled"}));
  std::vector<std::string> order;
  for (const std::string& line : log.lines()) {
    for (const char* mark : {"is starting.", "Using UIWebView", "[VKRTimer][zeta]",
                             "[VKRTimer][alpha]", "[VKRTimer][TotalPluginStartup]"}) {
      if (line.find(mark) != std::string::npos) order.push_back(mark);
    }
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"is starting.", "Using UIWebView", "[VKRTimer][zeta]",
                                      "[VKRTimer][alpha]", "[VKRTimer][TotalPluginStartup]"}));
  EXPECT_EQ(controller()->pluginObjects().count("VKRUIWebViewEngine"), 1u);

  // The start page loads with a 20 s time-out and the controller's user agent, which holds the
  // lock until the page has loaded.
  ASSERT_EQ(view().loads().size(), 1u);
  const FakeWebView::Load& load = view().loads()[0];
  EXPECT_EQ(load.request.url, wwwURL("index.html"));
  EXPECT_EQ(load.request.timeoutInterval, 20.0);
  EXPECT_EQ(load.userAgent, controller()->userAgent());
  EXPECT_NE(*controller()->userAgentLockToken(), 0);
  EXPECT_TRUE(view().simulatePageLoad(wwwURL("index.html")));
  EXPECT_EQ(*controller()->userAgentLockToken(), 0);
}

TEST_F(StartTest, TheAppDelegateForwardsOpenURLsAndEmptiesTheURLCache) {
  writeBundle("");
  ASSERT_TRUE(launch());
  std::vector<std::string> posted;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPluginHandleOpenURLNotification, nullptr,
      [&](const platform::Notification& n) { posted.push_back(*n.objectAs<std::string>()); });
  platform::ui::Application& application = platform::ui::Application::shared();
  EXPECT_TRUE(application.openURLInApp("myapp://x"));
  EXPECT_FALSE(application.openURLInApp(""));
  EXPECT_EQ(posted, (std::vector<std::string>{"myapp://x"}));

  int emptied = 0;
  platform::net::URLCache::shared()->addStore([&] { ++emptied; });
  application.receiveMemoryWarning();
  EXPECT_EQ(emptied, 1);
  EXPECT_EQ(delegate_->supportedInterfaceOrientations(application, delegate_->window()), 30u);
}

TEST_F(StartTest, TheStartPageWaitsForTheUserAgentLock) {
  writeBundle("");
  int64_t other = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { other = token; });
  ASSERT_TRUE(launch());
  EXPECT_TRUE(view().loads().empty());
  VKRUserAgentUtil::releaseLock(&other);
  ASSERT_EQ(view().loads().size(), 1u);
  view().simulateShouldStart(wwwURL("index.html"));
  view().simulateDidStart();
  view().simulateDidFail(platform::Error(platform::kURLErrorDomain, -1100));
  EXPECT_EQ(*controller()->userAgentLockToken(), 0);  // a failed load releases it too
}

TEST_F(StartTest, ALaunchWithoutConfigurationFails) {
  LogCapture log;
  EXPECT_FALSE(launch());
  EXPECT_TRUE(log.contains("ERROR: config.xml does not exist."));
}

TEST(VKRViewControllerStartPageTest, StartPageAndErrorPageURLs) {
  // "@" stands for the web folder's file URL.
  struct Case {
    std::string startPage;
    std::string errorUrl;
    std::optional<std::string> appUrl;
    std::optional<std::string> errorURL;
  };
  const std::vector<Case> cases = {
      {"index.html", "error.html", "@index.html", "@error.html"},
      {"index.html?x=1#top", "", "@index.html?x=1#top", std::nullopt},
      {"sub/page.html#a", "missing.html", "@sub/page.html#a", std::nullopt},
      {"http://example.test/start", "https://example.test/oops", "http://example.test/start",
       "https://example.test/oops"},
      {"missing.html", "", std::nullopt, std::nullopt},
      {"../config.xml", "", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string body = "<content src=\"" + c.startPage + "\"/>";
    if (!c.errorUrl.empty()) body += "<preference name=\"ErrorUrl\" value=\"" + c.errorUrl + "\"/>";
    vokaru::testing::TestController test(config(body));
    for (const char* file : {"index.html", "error.html", "sub/page.html"}) {
      test.app.writeBundleFile(std::string("www/") + file, "x");
    }
    const std::string www = "file://" + (test.app.bundlePath() / "www").string() + "/";
    const auto expected = [&](const std::optional<std::string>& url) {
      return url && url->starts_with("@") ? std::optional<std::string>(www + url->substr(1)) : url;
    };
    const auto text = [](const std::optional<platform::URL>& url) {
      return url ? std::optional<std::string>(url->absoluteString()) : std::nullopt;
    };
    EXPECT_EQ(text(test.controller->appUrl()), expected(c.appUrl)) << c.startPage;
    EXPECT_EQ(text(test.controller->errorURL()), expected(c.errorURL)) << c.errorUrl;
  }
}

TEST_F(StartTest, AMissingStartPageShowsTheErrorPage) {
  LogCapture log;
  writeBundle(R"(<content src="missing.html"/><preference name="ErrorUrl" value="error.html"/>)",
              {"error.html"});
  ASSERT_TRUE(launch());
  ASSERT_EQ(view().loads().size(), 1u);
  EXPECT_EQ(view().loads()[0].request.url,
            wwwURL("error.html") +
                "?error=ERROR:%20Start%20Page%20at%20'www/missing.html'%20was%20not%20found.");
  EXPECT_TRUE(log.contains("ERROR: Start Page at 'www/missing.html' was not found."));
}

TEST_F(StartTest, AMissingStartPageWithoutErrorPageShowsTheMessage) {
  writeBundle(R"(<content src="missing.html"/>
    <feature name="Filter">
      <param name="ios-package" value="VKRIntentAndNavigationFilter" onload="true"/>
    </feature>)");
  ASSERT_TRUE(launch());
  ASSERT_EQ(view().loads().size(), 1u);
  EXPECT_EQ(view().loads()[0].kind, FakeWebView::Load::Kind::HTML);
  EXPECT_EQ(view().loads()[0].html,
            "<html><body> ERROR: Start Page at 'www/missing.html' was not found. </body></html>");
  EXPECT_EQ(view().loads()[0].baseURL, "");
  // The blank page of that text shows, whatever the navigation rules say.
  EXPECT_TRUE(view().simulatePageLoad("about:blank"));
}

TEST_F(StartTest, TheEngineIsChosenByPreference) {
  struct Case {
    std::string preference;
    std::string engineClass;     // the engine made
    std::string registeredName;  // its name among the plugins
  };
  const std::vector<Case> cases = {
      {"", "VKRUIWebViewEngine", "VKRUIWebViewEngine"},
      {"NoSuchEngine", "VKRUIWebViewEngine", "NoSuchEngine"},
      {"RefusingEngine", "VKRUIWebViewEngine", "RefusingEngine"},
      {"AcceptingEngine", "AcceptingEngine", "AcceptingEngine"},
  };
  for (const Case& c : cases) {
    vokaru::testing::TestController test(
        config(c.preference.empty()
                   ? ""
                   : "<preference name=\"VokaruWebViewEngine\" value=\"" + c.preference + "\"/>"));
    test.app.writeBundleFile("www/index.html", "x");
    test.controller->setWebViewEngine(nullptr);
    test.controller->newVokaruViewWithFrame({0, 0, 320, 480});
    std::shared_ptr<VKRWebViewEngineProtocol> engine = test.controller->webViewEngine();
    ASSERT_NE(engine, nullptr);
    const bool isAccepting = dynamic_cast<AcceptingEngine*>(engine.get()) != nullptr;
    EXPECT_EQ(isAccepting ? "AcceptingEngine" : "VKRUIWebViewEngine", c.engineClass)
        << c.preference;
    EXPECT_EQ(dynamic_cast<RefusingEngine*>(engine.get()), nullptr);
    EXPECT_EQ(test.controller->pluginObjects().count(c.registeredName), 1u) << c.preference;
  }
}

// An engine that takes any request is kept also when there is no start page to ask about.
TEST_F(StartTest, AMissingStartPageKeepsTheConfiguredEngine) {
  vokaru::testing::TestController test(config(R"(<content src="missing.html"/>
                <preference name="VokaruWebViewEngine" value="AcceptingEngine"/>)"));
  test.controller->setWebViewEngine(nullptr);
  test.controller->newVokaruViewWithFrame({0, 0, 320, 480});
  EXPECT_NE(dynamic_cast<AcceptingEngine*>(test.controller->webViewEngine().get()), nullptr);
}

TEST_F(StartTest, AWebFolderThatIsABundleHoldsTheStartPage) {
  vokaru::testing::TestController test(config(""));
  test.app.writeBundleFile("web.bundle/start.html", "x");
  test.controller->setWwwFolderName("web.bundle");
  test.controller->setStartPage("start.html");
  std::optional<platform::URL> start = test.controller->appUrl();
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(start->filePath(), (test.app.bundlePath() / "web.bundle/start.html").string());
  test.controller->setStartPage("absent.html");
  EXPECT_FALSE(test.controller->appUrl().has_value());
}

TEST(VKRViewControllerOrientationTest, SupportedOrientationsFromInfoPlist) {
  using C = VKRViewController;
  const auto names = [](std::vector<std::string> list) {
    platform::Value::Array array;
    for (auto& name : list) array.emplace_back(name);
    return platform::Value(array);
  };
  EXPECT_EQ(
      C::parseInterfaceOrientations(names(
          {"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeRight", "Sideways",
           "UIInterfaceOrientationLandscapeLeft", "UIInterfaceOrientationPortraitUpsideDown"})),
      (std::vector<int64_t>{1, 3, 4, 2}));
  EXPECT_EQ(C::parseInterfaceOrientations(platform::Value()), (std::vector<int64_t>{1}));
  EXPECT_EQ(C::parseInterfaceOrientations(names({"Sideways"})), (std::vector<int64_t>{1}));

  platform::Dictionary info;
  info.set("UISupportedInterfaceOrientations",
           names({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeRight"}));
  TestApp app("org.vokaru.orientation", info);
  app.writeBundleFile("config.xml", "<widget/>");
  auto controller = VKRViewController::create();
  ASSERT_TRUE(controller.ok());
  EXPECT_EQ((*controller)->supportedInterfaceOrientations(), 10u);
  EXPECT_TRUE((*controller)->supportsOrientation(3));
  EXPECT_FALSE((*controller)->supportsOrientation(4));
}

class LifeCycleTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ui::Application::resetShared(); }
  void TearDown() override { platform::ui::Application::resetShared(); }
  vokaru::testing::TestController test_{config(
      R"(<feature name="Pending"><param name="ios-package" value="PendingPlugin"/></feature>)")};
};

std::string wrapped(const std::string& script) {
  return std::string(VKRCommandDelegateImpl::kEvalAndFetchPrefix) + script +
         VKRCommandDelegateImpl::kEvalAndFetchSuffix;
}

TEST_F(LifeCycleTest, ApplicationEventsReachThePage) {
  platform::ui::Application& application = platform::ui::Application::shared();
  application.becomeActive();
  platform::testing::drainMainLoop();
  test_.engine->clearScripts();

  // Leaving: the page hears at once, before the app goes.
  application.enterBackground();
  EXPECT_EQ(test_.engine->scripts(),
            (std::vector<std::string>{wrapped("vokaru.fireDocumentEvent('resign');"),
                                      wrapped("vokaru.fireDocumentEvent('pause', null, true);")}));
  test_.engine->clearScripts();

  // Coming back: in a later turn; the pasteboard's text is put back as plain text.
  platform::ui::Pasteboard::general().setString("copied");
  application.becomeActive();
  EXPECT_TRUE(test_.engine->scripts().empty());
  platform::testing::drainMainLoop();
  EXPECT_EQ(test_.engine->scripts(),
            (std::vector<std::string>{wrapped("vokaru.fireDocumentEvent('resume');"),
                                      wrapped("vokaru.fireDocumentEvent('active');")}));
  EXPECT_EQ(platform::ui::Pasteboard::general().valueForType("public.text"), "copied");
}

TEST_F(LifeCycleTest, AMemoryWarningWaitsForPendingOperations) {
  LogCapture log;
  test_.controller->getCommandInstance("Pending");
  test_.controller->didReceiveMemoryWarning();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "Plugin 'PendingPlugin' has a pending operation, memory purge is "
                             "delayed for didReceiveMemoryWarning."}));
}

TEST_F(LifeCycleTest, TheAppsOwnTemporaryFolderIsEmptiedAtExit) {
  const std::filesystem::path tmp = platform::AppHome::temporary();
  platform::testing::writeFile(tmp / "capture.jpg", "x");
  platform::testing::writeFile(tmp / "nested/deeper/file", "y");
  platform::testing::TempDir shared;  // in the system's temporary folder
  platform::testing::writeFile(shared / "someone-elses", "z");

  platform::ui::Application::shared().terminate();
  EXPECT_TRUE(std::filesystem::exists(tmp));
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_TRUE(std::filesystem::exists(shared / "someone-elses"));
}

}  // namespace
