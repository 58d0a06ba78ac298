#include "ads/foundation/click_tracker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/auto_click_protection.h"
#include "ads/testing/ping_server.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using platform::URL;
using platform::Value;
using platform::testing::runMainLoopUntil;

// What a tracker told its delegate.
class RecordingDelegate final : public ZADClickTrackerDelegate {
 public:
  void trackerDidRedirect(ZADClickTracker&, const URL& url) override {
    redirects.push_back(url.absoluteString());
  }
  void trackerDidFailWithError(ZADClickTracker&,
                               const std::optional<platform::Error>& error) override {
    failures.push_back(error);
  }
  bool done() const { return redirects.size() + failures.size() > 0; }

  std::vector<std::string> redirects;
  std::vector<std::optional<platform::Error>> failures;
};

class ZADClickTrackerTest : public ::testing::Test {
 protected:
  ~ZADClickTrackerTest() override { platform::testing::drainMainLoop(); }

  // Tracks the URL with a tracker of its own and waits for its end.
  std::shared_ptr<ZADClickTracker> track(const std::string& url) {
    auto tracker = ZADClickTracker::make();
    tracker->setDelegate(delegate_);
    tracker->trackURL(*URL::parse(url));
    EXPECT_TRUE(tracker->holdsBackgroundTask());
    EXPECT_TRUE(runMainLoopUntil([&] { return delegate_->done(); })) << url;
    EXPECT_TRUE(tracker->hasTracked());
    EXPECT_FALSE(tracker->holdsBackgroundTask());
    return tracker;
  }

  platform::testing::TestApp app_;
  ads::testing::PingServer server_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(ZADClickTrackerTest, FollowsTheChainToItsEnd) {
  track(server_.redirectURL(server_.redirectURL("/landing")));
  EXPECT_EQ(delegate_->redirects, std::vector<std::string>{server_.url("/landing")});
  EXPECT_TRUE(delegate_->failures.empty());
  EXPECT_EQ(server_.hits("/landing"), 1);
}

TEST_F(ZADClickTrackerTest, AnAppLinkEndsTheChainAsASuccess) {
  // An absolute hop, then one to the app's own scheme; the stop is no failure.
  const std::string appLink = "zorovaapp://open?item=1";
  track(server_.redirectURL(server_.redirectURL(appLink)));
  EXPECT_EQ(delegate_->redirects, std::vector<std::string>{appLink});
  EXPECT_TRUE(delegate_->failures.empty());
}

TEST_F(ZADClickTrackerTest, AMissingPageAtTheEndFailsWithoutAnError) {
  track(server_.redirectURL("/status/404"));
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_FALSE(delegate_->failures[0]);
  EXPECT_TRUE(delegate_->redirects.empty());
}

TEST_F(ZADClickTrackerTest, CollectionKeepsTrackersUntilTheyEnd) {
  auto collection = ZADClickTrackerCollection::make();
  collection->trackURLs({Value(server_.url("/a")), Value(server_.url("/status/500")), Value(42),
                         Value("no url"), Value()},
                        false);
  collection->trackURL(*URL::parse(server_.redirectURL("/b")));
  ASSERT_EQ(collection->trackers().size(), 3u);
  for (const auto& tracker : collection->trackers()) EXPECT_FALSE(tracker->hasTracked());
  ASSERT_TRUE(runMainLoopUntil([&] { return collection->trackers().empty(); }));
  EXPECT_EQ(server_.hits("/a"), 1);
  EXPECT_EQ(server_.hits("/status/500"), 1);
  EXPECT_EQ(server_.hits("/b"), 1);
}

TEST_F(ZADClickTrackerTest, ExpiredBackgroundTimeEndsTheTrackingAsAFailure) {
  platform::testing::ScriptedServer silent([](auto& connection) { connection.hold(); });
  auto collection = ZADClickTrackerCollection::make();
  collection->trackURL(*URL::parse(silent.url("/slow")));
  ASSERT_TRUE(runMainLoopUntil([&] { return silent.connections() == 1; }));
  auto tracker = *collection->trackers().begin();
  tracker->setDelegate(delegate_);
  platform::ui::Application::shared().expireBackgroundTasks();
  ASSERT_TRUE(runMainLoopUntil([&] { return delegate_->done(); }));
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_TRUE(delegate_->failures[0]);
  EXPECT_TRUE(tracker->hasTracked());
  EXPECT_FALSE(tracker->holdsBackgroundTask());

  // Within the collection, the expired tracker is let go.
  collection->trackURL(*URL::parse(silent.url("/slow")));
  ASSERT_TRUE(runMainLoopUntil([&] { return silent.connections() == 2; }));
  platform::ui::Application::shared().expireBackgroundTasks();
  ASSERT_TRUE(runMainLoopUntil([&] { return collection->trackers().empty(); }));
}

TEST_F(ZADClickTrackerTest, AutoClickProtectionReportsBlockedOpens) {
  EXPECT_FALSE(ZADAutoClickProtection::initWithDictionary(std::nullopt));
  const auto off = ZADAutoClickProtection::initWithDictionary(platform::Dictionary{});
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->enabled());

  const auto protection = ZADAutoClickProtection::initWithDictionary(platform::Dictionary{
      {"enable_protection", true},
      {"reporting_urls", Value::Array{Value(server_.url("/spam?nav={NAVIGATION_URL}&again="
                                                        "{NAVIGATION_URL}")),
                                      Value(server_.url("/plain")), Value(3)}}});
  ASSERT_TRUE(protection);
  EXPECT_TRUE(protection->enabled());
  protection->reportSpamOpenActionWithNavigationURLString("http://x.example/?a=1&b=2");
  const std::string escaped = "http%3A%2F%2Fx.example%2F%3Fa%3D1%26b%3D2";
  ASSERT_TRUE(runMainLoopUntil([&] { return server_.totalHits() == 2; }));
  EXPECT_EQ(server_.hits("/spam?nav=" + escaped + "&again=" + escaped), 1);
  EXPECT_EQ(server_.hits("/plain"), 1);

  // A missing navigation URL counts as empty.
  EXPECT_EQ(protection->reportingURLStrings(std::nullopt)[0], server_.url("/spam?nav=&again="));
}

}  // namespace
