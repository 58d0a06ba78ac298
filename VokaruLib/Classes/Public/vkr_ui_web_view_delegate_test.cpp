#include "VokaruLib/Classes/Public/vkr_ui_web_view_delegate.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/testing/log_capture.h"
#include "platform/web/testing/fake_web_view.h"
#include "platform/web/web_errors.h"

namespace {

using platform::web::NavigationAction;
using platform::web::URLRequest;
using platform::web::WebView;
using platform::web::testing::FakeWebView;
using State = VKRUIWebViewDelegate::State;

// The real delegate: records what reaches it.
class RecordingDelegate : public platform::web::WebViewDelegate {
 public:
  bool shouldStartLoad(WebView&, const NavigationAction&) override { return allow; }
  void didStartLoad(WebView&) override { events.push_back("start"); }
  void didFinishLoad(WebView&) override { events.push_back("finish"); }
  void didFailLoad(WebView&, const platform::Error& error) override {
    events.push_back("fail " + error.domain() + " " + std::to_string(error.code()));
    lastError = error;
  }

  bool allow = true;
  std::vector<std::string> events;
  platform::Error lastError;
};

platform::Error loadError(int64_t code) { return platform::Error(platform::kURLErrorDomain, code); }

NavigationAction frameNavigation(const std::string& url) {
  NavigationAction action;
  action.request = URLRequest(url);
  action.request.mainDocumentURL = "http://example.test/page.html";
  action.mainFrame = false;
  return action;
}

class VKRUIWebViewDelegateTest : public ::testing::Test {
 protected:
  VKRUIWebViewDelegateTest() { view_->setDelegate(machine_); }

  std::shared_ptr<RecordingDelegate> real_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<VKRUIWebViewDelegate> machine_ = std::make_shared<VKRUIWebViewDelegate>(real_);
  std::shared_ptr<FakeWebView> view_ = std::make_shared<FakeWebView>();
};

TEST_F(VKRUIWebViewDelegateTest, SubresourceLoadsCollapseIntoOneStartAndOneFinish) {
  EXPECT_TRUE(view_->simulateShouldStart("http://example.test/page.html"));
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadStart);
  for (int i = 0; i < 4; ++i) view_->simulateDidStart();
  for (int i = 0; i < 3; ++i) view_->simulateDidFinish();
  EXPECT_EQ(real_->events, std::vector<std::string>{"start"});
  EXPECT_EQ(machine_->loadCount(), 1);
  view_->simulateDidFinish();
  EXPECT_EQ(real_->events, (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(machine_->state(), State::kStateIdle);
}

TEST_F(VKRUIWebViewDelegateTest, NavigationBeforeTheFirstStartedFailsTheFirst) {
  platform::testing::LogCapture log;
  view_->simulateShouldStart("http://example.test/a.html");
  EXPECT_TRUE(view_->simulateShouldStart("http://example.test/b.html"));
  EXPECT_EQ(real_->events, std::vector<std::string>{"fail VKRUIWebViewDelegate 1"});
  EXPECT_EQ(real_->lastError.localizedDescription(),
            "VKRWebViewDelegate: Navigation started when state=1");
  EXPECT_TRUE(log.contains("VKRWebViewDelegate: Navigation started when state=1"));
  view_->simulateDidStart();
  view_->simulateDidFinish();
  EXPECT_EQ(real_->events,
            (std::vector<std::string>{"fail VKRUIWebViewDelegate 1", "start", "finish"}));
}

TEST_F(VKRUIWebViewDelegateTest, CancelledLoadIsPassedOnAndTheNextStartResumes) {
  view_->simulateShouldStart("http://example.test/a.html");
  view_->simulateDidFail(loadError(platform::kURLErrorCancelled));
  EXPECT_EQ(machine_->state(), State::kStateCancelled);
  view_->simulateDidStart();
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadFinish);
  view_->simulateDidFinish();
  EXPECT_EQ(real_->events,
            (std::vector<std::string>{"fail NSURLErrorDomain -999", "start", "finish"}));
}

TEST_F(VKRUIWebViewDelegateTest, FailuresEndTheLoadOnlyWhenTheyAreThePages) {
  view_->simulateShouldStart("http://example.test/a.html");
  view_->simulateDidStart();
  view_->simulateDidStart();  // a frame
  view_->simulateDidFail(loadError(platform::kURLErrorCannotFindHost));
  EXPECT_EQ(real_->events, std::vector<std::string>{"start"});
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadFinish);

  real_->events.clear();
  view_->simulateDidFail(loadError(platform::kURLErrorCancelled));
  EXPECT_EQ(machine_->state(), State::kStateCancelled);
  view_->simulateShouldStart("http://example.test/b.html");
  view_->simulateDidStart();
  view_->simulateDidFail(loadError(platform::kURLErrorTimedOut));
  EXPECT_EQ(real_->events, (std::vector<std::string>{"fail NSURLErrorDomain -999", "start",
                                                     "fail NSURLErrorDomain -1001"}));
  EXPECT_EQ(machine_->state(), State::kStateIdle);
  EXPECT_EQ(machine_->loadCount(), -1);
}

TEST_F(VKRUIWebViewDelegateTest, EventsOutsideALoadAreDropped) {
  view_->simulateDidStart();
  view_->simulateDidFinish();
  view_->simulateDidFail(loadError(-1));
  EXPECT_TRUE(real_->events.empty());
  platform::testing::LogCapture log;
  view_->simulateShouldStart("http://example.test/a.html");
  view_->simulateDidFinish();
  EXPECT_TRUE(
      log.contains("VKRWebViewDelegate: Unexpected didFinish while waiting for load start."));
  EXPECT_TRUE(real_->events.empty());
}

TEST_F(VKRUIWebViewDelegateTest, FragmentJumpsAndFrameNavigationsLeaveTheStateAlone) {
  view_->setURL("http://example.test/page.html#a");
  view_->setScriptResult("location.href", std::string("http://example.test/page.html#a"));
  EXPECT_TRUE(view_->simulateShouldStart("http://example.test/page.html#b"));
  EXPECT_EQ(machine_->state(), State::kStateIdle);

  EXPECT_TRUE(view_->simulateShouldStart(frameNavigation("tel:+15550100")));
  EXPECT_TRUE(view_->simulateShouldStart(frameNavigation("https://ads.example.test/frame")));
  EXPECT_FALSE(view_->simulateShouldStart(frameNavigation("gopher://example.test/")));
  EXPECT_EQ(machine_->state(), State::kStateIdle);
  EXPECT_EQ(machine_->loadCount(), -1);

  // The same page again (location.href equal): a real navigation.
  view_->setScriptResult("location.href", std::string("http://example.test/page.html#b"));
  EXPECT_TRUE(view_->simulateShouldStart("http://example.test/page.html#b"));
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadStart);
}

TEST_F(VKRUIWebViewDelegateTest, ALoadTheViewAlreadyShowsAsItsURLIsNoJump) {
  // The engine reports the URL of a load that has just begun while the old document still shows.
  view_->setURL("file:///app/www/index.html#top");
  view_->setScriptResult("location.href", std::string("about:blank"));
  EXPECT_TRUE(view_->simulateShouldStart("file:///app/www/index.html#top"));
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadStart);
  view_->simulateDidStart();
  view_->simulateDidFinish();
  EXPECT_EQ(real_->events, (std::vector<std::string>{"start", "finish"}));
}

TEST_F(VKRUIWebViewDelegateTest, RedirectIsLoggedOnlyWithOtherThanOneOpenLoad) {
  platform::testing::LogCapture log;
  view_->simulateShouldStart("http://example.test/a");
  view_->simulateDidStart();
  view_->simulateShouldStart("http://example.test/b");
  EXPECT_TRUE(log.lines().empty());
  view_->simulateDidStart();
  view_->simulateShouldStart("http://example.test/c");
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"VKRWebViewDelegate: Detected redirect when loadCount=2"});
  EXPECT_EQ(machine_->state(), State::kStateWaitingForLoadFinish);
}

TEST_F(VKRUIWebViewDelegateTest, RefusalOfTheRealDelegateChangesNothing) {
  real_->allow = false;
  EXPECT_FALSE(view_->simulateShouldStart("http://example.test/a"));
  EXPECT_EQ(machine_->state(), State::kStateIdle);
  real_.reset();  // gone: nothing is passed on, navigations go on
  EXPECT_TRUE(view_->simulateShouldStart("http://example.test/a"));
  view_->simulateDidStart();
  view_->simulateDidFinish();
  EXPECT_EQ(machine_->state(), State::kStateIdle);
}

TEST(VKRUIWebViewDelegateHelpersTest, RequestsCompareWithoutFragments) {
  using D = VKRUIWebViewDelegate;
  EXPECT_TRUE(D::isEqualToRequestAfterStrippingFragments("http://a/p#x", "http://a/p#y"));
  EXPECT_TRUE(D::isEqualToRequestAfterStrippingFragments("http://a/p", "http://a/p#y"));
  EXPECT_FALSE(D::isEqualToRequestAfterStrippingFragments("http://a/p?q", "http://a/p#q"));
  EXPECT_FALSE(D::isEqualToRequestAfterStrippingFragments("", ""));
  for (const char* url : {"mailto:a@b.test", "TEL:1", "blob:x", "sms:1", "data:,x", "http://a/",
                          "https://a/", "file:///a", "about:blank", "vkrfile://localhost/a"}) {
    EXPECT_TRUE(D::shouldLoadRequest(URLRequest(url))) << url;
  }
  for (const char* url : {"gopher://a/", "javascript:alert(1)", "vkr://ready", "not a url"}) {
    EXPECT_FALSE(D::shouldLoadRequest(URLRequest(url))) << url;
  }
}

// Random event streams: whatever the web view reports, every finish that reaches the real
// delegate comes right after a start that reached it, and the machine stays in its states.
TEST_F(VKRUIWebViewDelegateTest, PassedOnFinishesAlwaysFollowAPassedOnStart) {
  platform::testing::LogCapture quiet;
  std::mt19937 random(20261210);
  const char* urls[] = {"http://example.test/a", "http://example.test/a#f",
                        "http://example.test/b"};
  for (int sequence = 0; sequence < 300; ++sequence) {
    real_ = std::make_shared<RecordingDelegate>();
    machine_ = std::make_shared<VKRUIWebViewDelegate>(real_);
    view_->setDelegate(machine_);
    for (int step = 0; step < 40; ++step) {
      switch (random() % 7) {
        case 0:
          view_->simulateShouldStart(urls[random() % 3]);
          break;
        case 1:
          view_->simulateShouldStart(frameNavigation(urls[random() % 3]));
          break;
        case 2:
        case 3:
          view_->simulateDidStart();
          break;
        case 4:
          view_->simulateDidFinish();
          break;
        case 5:
          view_->simulateDidFail(loadError(platform::kURLErrorCancelled));
          break;
        case 6:
          view_->simulateDidFail(loadError(platform::kURLErrorTimedOut));
          break;
      }
      view_->setURL(urls[random() % 3]);
      const State state = machine_->state();
      ASSERT_TRUE(state == State::kStateIdle || state == State::kStateWaitingForLoadStart ||
                  state == State::kStateWaitingForLoadFinish || state == State::kStateCancelled);
    }
    for (size_t i = 0; i < real_->events.size(); ++i) {
      if (real_->events[i] != "finish") continue;
      ASSERT_GT(i, 0u) << "sequence " << sequence;
      ASSERT_EQ(real_->events[i - 1], "start") << "sequence " << sequence;
    }
  }
}

}  // namespace
