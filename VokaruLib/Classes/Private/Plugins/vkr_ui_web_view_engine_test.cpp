#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/web/testing/fake_web_view.h"
#include "platform/web/web_errors.h"

namespace {

using platform::web::NavigationType;
using platform::web::testing::FakeWebView;

// Takes part in navigation decisions as told, and counts what it hears.
class VetoPlugin : public VKRPlugin {
 public:
  explicit VetoPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("note", &VetoPlugin::note);
  }
  std::optional<bool> shouldOverrideLoadWithRequest(const platform::web::URLRequest& request,
                                                    NavigationType) override {
    asked.push_back(request.url);
    if (request.url.find("veto") != std::string::npos) return false;
    return answers ? std::optional<bool>(true) : std::nullopt;
  }
  void onReset() override { ++resets; }
  void note(const VKRInvokedUrlCommand& command) {
    notes.push_back(command.argumentAtIndex(0).stringOr(""));
  }

  bool answers = true;
  std::vector<std::string> asked;
  std::vector<std::string> notes;
  int resets = 0;
};
VKR_REGISTER_PLUGIN(VetoPlugin);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    app_.writeBundleFile("config.xml", R"(<widget>
        <preference name="ErrorUrl" value="error.html" />
        <preference name="PaginationMode" value="TopToBottom" />
        <feature name="Veto"><param name="ios-package" value="VetoPlugin" /></feature>
      </widget>)");
    app_.writeBundleFile("www/index.html", "x");
    app_.writeBundleFile("www/error.html", "x");
    platform::Result<std::shared_ptr<VKRViewController>> made = VKRViewController::create();
    ASSERT_TRUE(made.ok());
    controller_ = *made;
    controller_->view();  // makes the engine
    view_ = std::dynamic_pointer_cast<FakeWebView>(controller_->webView());
    ASSERT_NE(view_, nullptr);
  }
  void TearDown() override { platform::ui::Application::resetShared(); }

  // A top-level page load the view reports: allowed or not, then started and finished or failed.
  void loadPage(const std::string& url, std::optional<platform::Error> failure = std::nullopt) {
    ASSERT_TRUE(view_->simulateShouldStart(url));
    view_->setURL(url);
    view_->simulateDidStart();
    failure ? view_->simulateDidFail(*failure) : view_->simulateDidFinish();
  }
  VetoPlugin& veto() { return dynamic_cast<VetoPlugin&>(*controller_->getCommandInstance("Veto")); }
  std::string www(const std::string& file) {
    return "file://" + (app_.bundlePath() / "www" / file).string();
  }

  platform::testing::TestApp app_;
  platform::web::testing::ScopedFakeWebEngine engine_;
  std::shared_ptr<VKRViewController> controller_;
  std::shared_ptr<FakeWebView> view_;
};

TEST_F(EngineTest, AVkrNavigationPullsAndRunsThePagesCommandsAndNeverLoads) {
  veto();
  view_->setScriptResult(
      VKRCommandQueue::kFetchMessagesScript,
      std::string(R"([[null,"Veto","note",["first"]],[null,"Veto","note",["second"]]])"));
  EXPECT_FALSE(view_->simulateShouldStart("vkr://ready", NavigationType::Other));
  EXPECT_EQ(view_->scripts().back(), VKRCommandQueue::kFetchMessagesScript);
  platform::testing::drainMainLoop();
  EXPECT_EQ(veto().notes, (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(veto().asked.empty());  // plugins are not asked about the bridge's signal
}

TEST_F(EngineTest, PluginsDecideNavigationsAndAnyRefusalWins) {
  platform::testing::LogCapture quiet;
  std::vector<std::string> offered;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPluginHandleOpenURLNotification, nullptr,
      [&](const platform::Notification& n) { offered.push_back(*n.objectAs<std::string>()); });
  veto();
  EXPECT_TRUE(view_->simulateShouldStart("https://fine.example.test/"));
  EXPECT_FALSE(view_->simulateShouldStart("https://veto.example.test/"));
  EXPECT_EQ(veto().asked.size(), 2u);

  // When no plugin answers: file URLs load, others are offered to whoever opens URLs.
  veto().answers = false;
  EXPECT_TRUE(view_->simulateShouldStart(www("other.html")));
  EXPECT_FALSE(view_->simulateShouldStart("https://example.test/"));
  EXPECT_EQ(offered, (std::vector<std::string>{"https://example.test/"}));
}

TEST_F(EngineTest, PageStartsResetPluginsAndLoadsAreAnnounced) {
  platform::testing::LogCapture log;
  veto();
  int announced = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, view_.get(), [&](const platform::Notification&) { ++announced; });
  platform::ui::Application::shared().setNetworkActivityIndicatorVisible(true);
  loadPage(www("index.html"));
  EXPECT_EQ(veto().resets, 1);
  EXPECT_EQ(announced, 1);
  EXPECT_FALSE(platform::ui::Application::shared().isNetworkActivityIndicatorVisible());
  EXPECT_TRUE(log.contains("Resetting plugins due to page load."));
  EXPECT_TRUE(log.contains("Finished load of: " + www("index.html")));
}

TEST_F(EngineTest, AFailedLoadShowsTheErrorPageOnce) {
  platform::testing::LogCapture log;
  veto();  // lets web pages load
  const size_t before = view_->loads().size();
  platform::Error failure = platform::Error::withDescription(platform::kURLErrorDomain, -1003,
                                                             "A server with the specified "
                                                             "hostname could not be found.");
  loadPage("https://gone.example.test/", failure);
  ASSERT_EQ(view_->loads().size(), before + 1);
  const std::string errorPage =
      www("error.html") +
      "?error=Failed%20to%20load%20webpage%20with%20error:%20A%20server%20with%20the%20specified%"
      "20hostname%20could%20not%20be%20found.";
  EXPECT_EQ(view_->loads().back().request.url, errorPage);
  EXPECT_TRUE(
      log.contains("Failed to load webpage with error: A server with the specified "
                   "hostname could not be found."));
  EXPECT_TRUE(log.contains(errorPage));

  // The error page failing in turn is not loaded again.
  platform::Dictionary info;
  info.set(platform::kURLErrorFailingURLStringKey, errorPage);
  loadPage(errorPage, platform::Error(platform::kURLErrorDomain, -1100, info));
  EXPECT_EQ(view_->loads().size(), before + 1);
}

TEST_F(EngineTest, WebViewPreferencesApply) {
  struct Case {
    std::string preferences;
    std::function<bool(const platform::web::WebViewSettings&)> check;
  };
  using S = platform::web::WebViewSettings;
  const std::vector<Case> cases = {
      {"",
       [](const S& s) {
         return !s.scalesPageToFit && s.mediaPlaybackRequiresUserAction && s.bounces &&
                s.decelerationRate == platform::web::kDecelerationRateNormal &&
                s.paginationMode == 0 && s.paginationBreakingMode == 0;
       }},
      {"EnableViewportScale=true AllowInlineMediaPlayback=YES MediaPlaybackRequiresUserAction=no",
       [](const S& s) {
         return s.scalesPageToFit && s.allowsInlineMediaPlayback &&
                !s.mediaPlaybackRequiresUserAction;
       }},
      {"GapBetweenPages=12.5 PageLength=300",
       [](const S& s) { return s.gapBetweenPages == 12.5 && s.pageLength == 300; }},
      {"DisallowOverscroll=true", [](const S& s) { return !s.bounces; }},
      {"UIWebViewDecelerationSpeed=fast",
       [](const S& s) { return s.decelerationRate == platform::web::kDecelerationRateFast; }},
      {"UIWebViewDecelerationSpeed=Fast",
       [](const S& s) { return s.decelerationRate == platform::web::kDecelerationRateNormal; }},
      {"PaginationMode=TopToBottom PaginationBreakingMode=COLUMN",
       [](const S& s) { return s.paginationMode == 2 && s.paginationBreakingMode == 1; }},
      {"PaginationMode=sideways PaginationBreakingMode=x",
       [](const S& s) { return s.paginationMode == 0 && s.paginationBreakingMode == 0; }},
  };
  auto engine = std::dynamic_pointer_cast<VKRUIWebViewEngine>(controller_->webViewEngine());
  ASSERT_NE(engine, nullptr);
  // The controller's own preferences applied when the engine started.
  EXPECT_EQ(view_->settings().paginationMode, 2);
  for (const Case& c : cases) {
    platform::Dictionary preferences;
    std::istringstream words(c.preferences);
    for (std::string word; words >> word;) {
      const size_t equals = word.find('=');
      std::string key = word.substr(0, equals);
      std::transform(key.begin(), key.end(), key.begin(), ::tolower);
      preferences.set(key, word.substr(equals + 1));
    }
    view_->setSettings(S());
    engine->updateWithInfo({.uiWebViewDelegate = nullptr, .webViewPreferences = preferences});
    EXPECT_TRUE(c.check(view_->settings())) << c.preferences;
  }
}

}  // namespace
