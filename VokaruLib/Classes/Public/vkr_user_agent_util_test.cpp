#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"

#include <gtest/gtest.h>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/test_app.h"
#include "platform/web/testing/fake_web_view.h"

namespace {

TEST(VKRUserAgentUtilLockTest, HandsTheLockOnInArrivalOrder) {
  platform::testing::LogCapture log;
  int64_t first = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { first = token; });
  ASSERT_GT(first, 0);

  std::vector<std::pair<char, int64_t>> handedOn;
  int64_t second = 0;
  int64_t third = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { handedOn.emplace_back('b', second = token); });
  VKRUserAgentUtil::acquireLock([&](int64_t token) { handedOn.emplace_back('c', third = token); });
  EXPECT_TRUE(handedOn.empty());

  VKRUserAgentUtil::releaseLock(&first);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(handedOn, (std::vector<std::pair<char, int64_t>>{{'b', second}}));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Gave lock " + std::to_string(second)});
  VKRUserAgentUtil::releaseLock(&first);  // already released: nothing
  EXPECT_EQ(handedOn.size(), 1u);

  const int64_t secondToken = second;
  VKRUserAgentUtil::releaseLock(&second);
  EXPECT_EQ(handedOn.back(), std::make_pair('c', secondToken + 1));
  VKRUserAgentUtil::releaseLock(&third);
  EXPECT_EQ(third, 0);

  // Free again: the next request gets the next token at once.
  int64_t next = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { next = token; });
  EXPECT_EQ(next, handedOn.back().second + 1);
  VKRUserAgentUtil::releaseLock(&next);
}

TEST(VKRUserAgentUtilLockTest, NextHolderMayKeepItsTokenWhereThePreviousOneWas) {
  int64_t controllerToken = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { controllerToken = token; });
  VKRUserAgentUtil::acquireLock([&](int64_t token) { controllerToken = token; });
  const int64_t firstToken = controllerToken;
  VKRUserAgentUtil::releaseLock(&controllerToken);
  EXPECT_EQ(controllerToken, firstToken + 1);
  VKRUserAgentUtil::releaseLock(&controllerToken);
  EXPECT_EQ(controllerToken, 0);
}

TEST(VKRUserAgentUtilLockDeathTest, UsingATokenThatDoesNotHoldTheLockStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int64_t held = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t token) { held = token; });
  int64_t stale = held + 7;
  // The dying child runs this test afresh, so its numbers are its own.
  const std::string expected = "Got token [0-9]+, expected [0-9]+";
  EXPECT_DEATH(VKRUserAgentUtil::releaseLock(&stale), expected);
  EXPECT_DEATH(VKRUserAgentUtil::setUserAgent("agent", stale), expected);
  VKRUserAgentUtil::releaseLock(&held);
}

// The original agent, against a throw-away app's user defaults and a fake web engine.
class VKRUserAgentUtilDiscoveryTest : public ::testing::Test {
 protected:
  VKRUserAgentUtilDiscoveryTest() { VKRUserAgentUtil::onAppLocaleDidChange({}); }
  ~VKRUserAgentUtilDiscoveryTest() override { VKRUserAgentUtil::onAppLocaleDidChange({}); }

  static std::string versionText() {
    return platform::deviceModel() + " " + platform::systemVersion() + " " +
           platform::currentLocaleIdentifier();
  }
  // What a fresh read of the defaults file holds.
  platform::Value stored(const char* key) {
    platform::UserDefaults::standard()->synchronize();
    return platform::UserDefaults(platform::UserDefaults::standard()->file()).objectForKey(key);
  }

  platform::testing::TestApp app_;
  platform::web::testing::ScopedFakeWebEngine webEngine_;
  const std::string engineAgent_ = platform::web::testing::FakeWebView::kDefaultUserAgent;
};

TEST_F(VKRUserAgentUtilDiscoveryTest, FindsTheEnginesAgentOnceAndStoresIt) {
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), engineAgent_);
  EXPECT_EQ(stored("Vokaru-User-Agent"), platform::Value(engineAgent_));
  EXPECT_EQ(stored("Vokaru-User-Agent-Version"), platform::Value(versionText()));
  // Kept: a changed store is not read again.
  ASSERT_TRUE(platform::UserDefaults::standard()->setObject("Changed", "Vokaru-User-Agent").ok());
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), engineAgent_);
}

TEST_F(VKRUserAgentUtilDiscoveryTest, StoredAgentOfThisDeviceIsUsedAsItIs) {
  auto defaults = platform::UserDefaults::standard();
  ASSERT_TRUE(defaults->setObject("Stored/1.0", "Vokaru-User-Agent").ok());
  ASSERT_TRUE(defaults->setObject(versionText(), "Vokaru-User-Agent-Version").ok());
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), "Stored/1.0");
}

TEST_F(VKRUserAgentUtilDiscoveryTest, StoredAgentOfAnotherSystemOrLocaleIsFoundAgain) {
  auto defaults = platform::UserDefaults::standard();
  ASSERT_TRUE(defaults->setObject("Stored/1.0", "Vokaru-User-Agent").ok());
  ASSERT_TRUE(defaults->setObject("Old Model 1.0.0 xx_XX", "Vokaru-User-Agent-Version").ok());
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), engineAgent_);
  EXPECT_EQ(stored("Vokaru-User-Agent-Version"), platform::Value(versionText()));

  // A locale change forgets the agent; the stale pair is found again and rewritten.
  ASSERT_TRUE(defaults->setObject("Stale/0.1", "Vokaru-User-Agent").ok());
  ASSERT_TRUE(defaults->setObject("Other Model 2.0.0 xx_XX", "Vokaru-User-Agent-Version").ok());
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), engineAgent_);
  platform::NotificationCenter::defaultCenter().post(platform::kCurrentLocaleDidChangeNotification);
  EXPECT_EQ(VKRUserAgentUtil::originalUserAgent(), engineAgent_);
  EXPECT_EQ(stored("Vokaru-User-Agent"), platform::Value(engineAgent_));
  EXPECT_EQ(stored("Vokaru-User-Agent-Version"), platform::Value(versionText()));
}

TEST_F(VKRUserAgentUtilDiscoveryTest, AgentForWebViewsIsRegisteredNotStored) {
  int64_t token = 0;
  VKRUserAgentUtil::acquireLock([&](int64_t given) { token = given; });
  VKRUserAgentUtil::setUserAgent("Page/1 (7)", token);
  EXPECT_EQ(platform::UserDefaults::standard()->stringForKey("UserAgent"), "Page/1 (7)");
  EXPECT_TRUE(stored("UserAgent").isNull());
  VKRUserAgentUtil::releaseLock(&token);
}

}  // namespace
