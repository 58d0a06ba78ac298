#include "ads/foundation/pinger.h"

#include <gtest/gtest.h>

#include <optional>

#include "ads/testing/ping_server.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Value;
using platform::testing::runMainLoopUntil;

constexpr const char* kGroup = "/zorova/ads/crash_reporting";

class ZADPingerTest : public ::testing::Test {
 protected:
  ~ZADPingerTest() override { platform::testing::drainMainLoop(); }

  std::shared_ptr<platform::UserDefaults> defaults() { return platform::UserDefaults::standard(); }

  // The tries left of a stored retry URL; nothing when it is not stored.
  std::optional<int64_t> triesLeft(const std::string& retryURL) {
    auto group = defaults()->dictionaryForKey(kGroup);
    if (!group || !group->contains(retryURL)) return std::nullopt;
    return (*group->find(retryURL))[kZADRetryCountKey].intOr(-1);
  }

  // Waits until the server saw `hits` requests for the target and no ping of `url` is under way.
  bool waitForPings(ZADPinger& pinger, const std::string& target, const std::string& url,
                    int hits) {
    return runMainLoopUntil([&] { return server_.hits(target) >= hits && !pinger.isPinging(url); });
  }

  platform::testing::TestApp app_;
  ads::testing::PingServer server_;
};

TEST_F(ZADPingerTest, SuccessIsA2xxAnswer) {
  platform::testing::ScriptedServer hangUp([](auto&) {});  // closes without an answer
  auto pinger = ZADPinger::make();
  struct Case {
    std::string url;
    bool success;
  };
  const Case cases[] = {
      {server_.url("/status/204"), true},
      {server_.url("/status/200?a=1"), true},
      {server_.url("/status/404"), false},
      {server_.url("/status/500"), false},
      {hangUp.url("/x"), false},
      {"", false},
      {"not a url", false},
  };
  std::map<std::string, bool> results;
  for (const Case& c : cases) {
    pinger->pingURLString(c.url, platform::mainQueue(),
                          [&results, url = c.url](bool success) { results[url] = success; });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return results.size() == std::size(cases); }));
  for (const Case& c : cases) EXPECT_EQ(results[c.url], c.success) << c.url;
  EXPECT_EQ(server_.totalHits(), 4);

  // Without a queue or a completion the ping still goes out.
  pinger->pingURLString(server_.url("/quiet"), nullptr, [](bool) { FAIL(); });
  ASSERT_TRUE(runMainLoopUntil([&] { return server_.hits("/quiet") == 1; }));
}

TEST_F(ZADPingerTest, RetryGroupsHaveACapacityAndKeepExistingTries) {
  (void)defaults()->setObject(2, "/zorova/ads/maximum_retry_url_count");
  auto pinger = ZADPinger::make();
  const std::string urls[] = {server_.url("/status/500?n=1"), server_.url("/status/500?n=2"),
                              server_.url("/status/500?n=3")};
  for (const std::string& url : urls) {
    pinger->pingWithRetryGroupKey(kGroup, *platform::URL::parse(url), url);
  }
  for (int n = 1; n <= 3; ++n) {
    const std::string target = "/status/500?n=" + std::to_string(n);
    ASSERT_TRUE(waitForPings(*pinger, target, urls[n - 1], 1));
  }
  EXPECT_EQ(triesLeft(urls[0]), 3);
  EXPECT_EQ(triesLeft(urls[1]), 3);
  EXPECT_FALSE(triesLeft(urls[2]));  // the full group took no third URL: pinged once only
  EXPECT_EQ(*defaults()->arrayForKey(kZADRetryGroupKeysKey), Value::Array{kGroup});

  (void)defaults()->setObject(
      Value::dictionary({{urls[0], Value::dictionary({{kZADRetryCountKey, 1}})}}), kGroup);
  pinger->lockQueue()->sync([&] { pinger->storeRetryURLString(urls[0], kGroup); });
  EXPECT_EQ(triesLeft(urls[0]), 1);

  pinger->pingWithRetryGroupKey("", *platform::URL::parse(urls[0]), urls[0]);
  pinger->pingWithRetryGroupKey(kGroup, std::nullopt, urls[0]);
  pinger->lockQueue()->sync([] {});
  EXPECT_EQ(server_.totalHits(), 3);
}

TEST_F(ZADPingerTest, ASuccessfulFirstPingLeavesNothingToRetry) {
  auto pinger = ZADPinger::make();
  const std::string url = server_.url("/status/204");
  pinger->pingWithRetryGroupKey(kGroup, *platform::URL::parse(url), url + "&retry=1");
  ASSERT_TRUE(runMainLoopUntil([&] {
    return server_.hits("/status/204") == 1 && !pinger->isPinging(url) &&
           defaults()->dictionaryForKey(kGroup) && !triesLeft(url + "&retry=1");
  }));
}

TEST_F(ZADPingerTest, FailedPingsAreRetriedAfterARestartUntilTheirTriesAreUsedUp) {
  const std::string target = "/status/500?crash=1";
  const std::string url = server_.url(target);
  {
    auto firstRun = ZADPinger::make();
    firstRun->pingWithRetryGroupKey(kGroup, *platform::URL::parse(url), url);
    ASSERT_TRUE(waitForPings(*firstRun, target, url, 1));
  }
  platform::UserDefaults::resetStandard();  // the next run reads the file afresh
  ASSERT_EQ(triesLeft(url), 3);

  platform::ManualClock clock;
  auto pinger = ZADPinger::make();
  pinger->start();
  pinger->lockQueue()->sync([] {});
  platform::testing::drainMainLoop();

  clock.advanceSeconds(3);  // the early pass
  ASSERT_TRUE(waitForPings(*pinger, target, url, 2));
  EXPECT_EQ(triesLeft(url), 2);
  for (int hits = 3; hits <= 4; ++hits) {
    clock.advanceSeconds(60);
    ASSERT_TRUE(waitForPings(*pinger, target, url, hits));
  }
  EXPECT_EQ(triesLeft(url), 0);
  clock.advanceSeconds(60);  // the pass after the third retry drops the entry unpinged
  pinger->lockQueue()->sync([] {});
  EXPECT_FALSE(triesLeft(url));
  EXPECT_EQ(server_.hits(target), 4);
  EXPECT_EQ(*defaults()->dictionaryForKey(kGroup), platform::Dictionary());
}

TEST_F(ZADPingerTest, APingUnderWayKeepsItsTriesAtAPass) {
  platform::testing::ScriptedServer slow([](auto& connection) { connection.hold(); });
  const std::string url = slow.url("/held");
  auto pinger = ZADPinger::make();
  pinger->pingWithRetryGroupKey(kGroup, *platform::URL::parse(url), url);
  ASSERT_TRUE(runMainLoopUntil([&] { return slow.connections() == 1; }));
  pinger->lockQueue()->sync([&] { pinger->pingRetryURLs(); });
  EXPECT_EQ(triesLeft(url), 3);
  EXPECT_EQ(slow.connections(), 1);
}

TEST_F(ZADPingerTest, IntervalsThatAreNotPositiveTakeTheirDefaults) {
  struct Case {
    Value pingInterval;
    Value firstPingInterval;
    double firstPass;  // seconds after start
  };
  const Case cases[] = {
      {Value(), Value(), 3},       // defaults: 60 s, early pass after 3 s
      {Value("0"), Value(), 3},    // a zero interval would spin: 60 s
      {Value(), Value("60"), 60},  // no early pass: the first tick
      {Value("-5"), Value("abc"), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::describe(c.pingInterval) + " " +
                 platform::describe(c.firstPingInterval));
    (void)defaults()->setObject(c.pingInterval, "/zorova/ads/ping_interval");
    (void)defaults()->setObject(c.firstPingInterval, "/zorova/ads/first_ping_interval");
    const std::string target = "/status/500?case=" + std::to_string(&c - cases);
    const std::string url = server_.url(target);
    (void)defaults()->setObject(Value::array({kGroup}), kZADRetryGroupKeysKey);
    (void)defaults()->setObject(
        Value::dictionary({{url, Value::dictionary({{kZADRetryCountKey, 3}})}}), kGroup);

    platform::ManualClock clock;
    auto pinger = ZADPinger::make();
    pinger->start();
    pinger->lockQueue()->sync([] {});
    platform::testing::drainMainLoop();
    clock.advanceSeconds(c.firstPass - 0.5);
    pinger->lockQueue()->sync([] {});
    EXPECT_EQ(triesLeft(url), 3);
    clock.advanceSeconds(0.5);
    ASSERT_TRUE(waitForPings(*pinger, target, url, 1));
    EXPECT_EQ(triesLeft(url), 2);
    // The interval is 60 s in every case: no pass until the next tick.
    const double nextTick = c.firstPass < 60 ? 60 : 120;
    clock.advanceSeconds(nextTick - c.firstPass - 0.5);
    pinger->lockQueue()->sync([] {});
    EXPECT_EQ(triesLeft(url), 2);
  }
}

}  // namespace
