#include "platform/web/testing/fake_web_view.h"

#include <gtest/gtest.h>

#include "platform/testing/main_loop.h"
#include "platform/web/web_errors.h"

namespace platform::web::testing {
namespace {

// Records the delegate calls in order; refuses URLs that contain "refuse".
class RecordingDelegate : public WebViewDelegate {
 public:
  std::vector<std::string> events;
  std::vector<NavigationAction> actions;
  std::function<void(WebView&)> onFinish;

  bool shouldStartLoad(WebView&, const NavigationAction& action) override {
    actions.push_back(action);
    const bool allow = action.request.url.find("refuse") == std::string::npos;
    events.push_back(std::string(allow ? "allow " : "refuse ") + action.request.url);
    return allow;
  }
  void didStartLoad(WebView&) override { events.push_back("start"); }
  void didFinishLoad(WebView& view) override {
    events.push_back("finish");
    if (onFinish) onFinish(view);
  }
  void didFailLoad(WebView&, const Error& error) override {
    events.push_back("fail " + std::to_string(error.code()));
  }
};

TEST(FakeWebViewTest, RecordsLoadsWithTheUserAgentInEffect) {
  auto view = std::make_shared<FakeWebView>(ui::Rect(0, 0, 320, 480));
  view->loadRequest(URLRequest("file:///app/www/index.html", 20.0));
  view->setCustomUserAgent("Agent/1");
  view->loadHTMLString("<p>hi</p>", "");
  ASSERT_EQ(view->loads().size(), 2u);
  EXPECT_EQ(view->loads()[0].kind, FakeWebView::Load::Kind::Request);
  EXPECT_EQ(view->loads()[0].request.url, "file:///app/www/index.html");
  EXPECT_EQ(view->loads()[0].request.timeoutInterval, 20.0);
  EXPECT_EQ(view->loads()[0].userAgent, "");
  EXPECT_EQ(view->loads()[1].kind, FakeWebView::Load::Kind::HTML);
  EXPECT_EQ(view->loads()[1].html, "<p>hi</p>");
  EXPECT_EQ(view->loads()[1].userAgent, "Agent/1");
  EXPECT_EQ(view->userAgent(), "Agent/1");
  view->setCustomUserAgent("");
  EXPECT_EQ(view->userAgent(), FakeWebView::kDefaultUserAgent);
}

TEST(FakeWebViewTest, ScriptsAnswerFromTheTableSyncAndLater) {
  auto view = std::make_shared<FakeWebView>();
  view->setScriptResult("location.href", std::string("file:///a.html"));
  const Error thrown =
      Error::withDescription(kWebViewErrorDomain, kWebViewErrorScriptException, "ReferenceError");
  view->setScriptResult("boom()", thrown);

  EXPECT_EQ(view->evaluateJavaScriptSync("location.href").value(), "file:///a.html");
  EXPECT_EQ(view->evaluateJavaScriptSync("unknown()").value(), "");
  EXPECT_EQ(view->evaluateJavaScriptSync("boom()").error(), thrown);

  std::vector<std::string> answers;
  view->evaluateJavaScript("location.href", [&](Result<std::string> r) {
    answers.push_back(r.ok() ? r.value() : "error");
  });
  view->evaluateJavaScript(
      "boom()", [&](Result<std::string> r) { answers.push_back(r.ok() ? r.value() : "error"); });
  view->evaluateJavaScript("no completion", nullptr);
  EXPECT_TRUE(answers.empty());  // never inline
  platform::testing::drainMainLoop();
  EXPECT_EQ(answers, (std::vector<std::string>{"file:///a.html", "error"}));
  EXPECT_EQ(view->scripts(),
            (std::vector<std::string>{"location.href", "unknown()", "boom()", "location.href",
                                      "boom()", "no completion"}));
}

TEST(FakeWebViewTest, DrivesTheDelegateAndHonoursRefusals) {
  auto view = std::make_shared<FakeWebView>();
  auto delegate = std::make_shared<RecordingDelegate>();
  view->setDelegate(delegate);

  EXPECT_TRUE(view->simulatePageLoad("https://a.example/", NavigationType::LinkClicked));
  EXPECT_EQ(view->url(), "https://a.example/");
  EXPECT_FALSE(view->simulatePageLoad("https://refuse.example/"));
  EXPECT_EQ(view->url(), "https://a.example/");  // a refused navigation never loads

  NavigationAction frame;
  frame.request.url = "tel:123";
  frame.request.mainDocumentURL = "https://a.example/";
  frame.mainFrame = false;
  EXPECT_TRUE(view->simulateShouldStart(frame));
  view->simulateDidFail(Error(kURLErrorDomain, kURLErrorCancelled));

  EXPECT_EQ(delegate->events, (std::vector<std::string>{"allow https://a.example/", "start",
                                                        "finish", "refuse https://refuse.example/",
                                                        "allow tel:123", "fail -999"}));
  ASSERT_EQ(delegate->actions.size(), 3u);
  EXPECT_EQ(delegate->actions[0].type, NavigationType::LinkClicked);
  EXPECT_EQ(delegate->actions[0].request.mainDocumentURL, "https://a.example/");
  EXPECT_TRUE(delegate->actions[0].mainFrame);
  EXPECT_FALSE(delegate->actions[2].mainFrame);
}

TEST(FakeWebViewTest, WithoutDelegateNavigationsAreAllowedAndEventsDropped) {
  auto view = std::make_shared<FakeWebView>();
  {
    auto delegate = std::make_shared<RecordingDelegate>();
    view->setDelegate(delegate);
  }  // held weakly: gone now
  EXPECT_EQ(view->delegate(), nullptr);
  EXPECT_TRUE(view->simulatePageLoad("https://refuse.example/"));
}

TEST(FakeWebViewTest, ADelegateMayDropTheLastReferenceDuringACallback) {
  auto view = std::make_shared<FakeWebView>();
  std::weak_ptr<FakeWebView> weak = view;
  auto delegate = std::make_shared<RecordingDelegate>();
  delegate->onFinish = [&](WebView&) { view.reset(); };
  weak.lock()->setDelegate(delegate);
  weak.lock()->simulatePageLoad("https://a.example/");
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(delegate->events.back(), "finish");
}

TEST(FakeWebViewTest, SettingsAreKeptAsSet) {
  auto view = std::make_shared<FakeWebView>();
  WebViewSettings settings = view->settings();
  EXPECT_TRUE(settings.mediaPlaybackRequiresUserAction);
  settings.scalesPageToFit = true;
  settings.paginationMode = 2;
  settings.decelerationRate = kDecelerationRateNormal;
  view->setSettings(settings);
  EXPECT_EQ(view->settings(), settings);
}

TEST(FakeWebEngineTest, MakesFakeViewsWhileInstalled) {
  EXPECT_EQ(webEngine(), nullptr);
  {
    ScopedFakeWebEngine scoped;
    ASSERT_EQ(webEngine().get(), &scoped.engine());
    auto view = webEngine()->createWebView({.frame = ui::Rect(0, 0, 10, 20)});
    ASSERT_EQ(scoped.engine().createdViews().size(), 1u);
    EXPECT_EQ(scoped.engine().createdViews()[0], view);
    EXPECT_EQ(view->frame(), ui::Rect(0, 0, 10, 20));
    EXPECT_EQ(webEngine()->defaultUserAgent(), view->userAgent());
  }
  EXPECT_EQ(webEngine(), nullptr);
}

}  // namespace
}  // namespace platform::web::testing
