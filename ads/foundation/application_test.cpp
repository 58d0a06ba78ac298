#include "ads/foundation/application.h"

#include <gtest/gtest.h>

#include "ads/foundation/crash_reporter.h"
#include "ads/foundation/device.h"
#include "ads/foundation/mediation_services.h"
#include "ads/foundation/monotonic_clock.h"
#include "ads/foundation/rendering_services.h"
#include "ads/testing/fake_rendering.h"
#include "ads/testing/fake_sdk_core.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/class_registry.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace {

using ads::testing::StartUpLog;
using platform::Value;

class ZADApplicationTest : public ::testing::Test {
 protected:
  ~ZADApplicationTest() override { platform::testing::drainMainLoop(); }

  void set(const char* key, Value value) {
    (void)platform::UserDefaults::standard()->setObject(std::move(value), key);
  }

  platform::testing::TestApp app_{"com.example.ads-app",
                                  platform::Dictionary{{"CFBundleVersion", "3.1"}}};
};

class TestInterstitialCache final : public ZADInterstitialCache {};

TEST_F(ZADApplicationTest, TheEngineStartsOnceAtLaunchInOrder) {
  StartUpLog log;
  ads::testing::ScopedFakeStartUpServices services(log);
  set("/zorova/ads/content_url_enabled", true);
  set("/zorova/ads/zads:interstitial_ad_pool:enabled", "true");
  const std::shared_ptr<ZADApplication> application = ZADApplication::sharedInstance();
  ZADInterstitialCache::setSharedInstanceFactory([&log, application] {
    log.add(
        std::string("interstitial") + (platform::isMainThread() ? " on main" : "") +
        (ZADCrashReporter::sharedInstance().reportingEnabled() ? " after crash reporting" : "") +
        (application->isContentHashing() ? " after capture" : ""));
    return std::make_shared<TestInterstitialCache>();
  });
  platform::runLoadHooks();
  EXPECT_TRUE(log.entries().empty());
  EXPECT_FALSE(application->appFinishedLaunching());

  platform::ui::Application::shared().finishLaunching();
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return log.entries().size() == 3; }));
  EXPECT_TRUE(application->appFinishedLaunching());
  EXPECT_TRUE(ZADMRAIDInterceptor::isAllowed());
  EXPECT_EQ(log.entries(),
            (std::vector<std::string>{"iap.should", "iap.enable",
                                      "interstitial after crash reporting after capture"}));

  // Later triggers (another launch notice, a first slot or request) change nothing.
  platform::NotificationCenter::defaultCenter().post(
      platform::ui::kApplicationDidFinishLaunchingNotification);
  application->runEarlyActivities();
  platform::testing::drainMainLoop();
  EXPECT_EQ(log.entries().size(), 3u);
  application->stopContentHashing();
  ZADInterstitialCache::setSharedInstanceFactory(nullptr);
}

TEST_F(ZADApplicationTest, AFirstRequestMayStartTheEngineWithoutItsOptionalParts) {
  StartUpLog log;
  ads::testing::ScopedFakeStartUpServices services(log, /*purchaseReportingAllowed=*/false);
  set("/zorova/ads/content_url_enabled", false);
  auto application = ZADApplication::make();
  application->runEarlyActivities();
  application->runEarlyActivities();
  EXPECT_EQ(log.entries(), std::vector<std::string>{"iap.should"});
  EXPECT_TRUE(ZADCrashReporter::sharedInstance().reportingEnabled());
  EXPECT_FALSE(application->isContentHashing());
  EXPECT_FALSE(application->appFinishedLaunching());
  EXPECT_TRUE(application->isAppActive());
}

TEST_F(ZADApplicationTest, RequestBookkeeping) {
  platform::ManualClock clock;
  auto application = ZADApplication::make();
  EXPECT_EQ(application->timeSinceFirstAdRequestInMilliseconds(), 0u);

  const platform::Dictionary first =
      application->nextRequestStatisticsDictionaryForSlot(ads::testing::FakeSlot(false));
  EXPECT_EQ(first.find("preqs")->intOr(-9), 0);
  EXPECT_EQ(first.find("seq_num")->intOr(-9), 1);
  EXPECT_EQ(*first.find("basets"), *first.find("currts"));
  EXPECT_EQ(first.find("session_id")->stringOr(""), application->currentSession()->uniqueID());

  clock.advanceSeconds(2);
  const platform::Dictionary second =
      application->nextRequestStatisticsDictionaryForSlot(ads::testing::FakeSlot(true));
  EXPECT_EQ(second.find("preqs")->intOr(-9), -1);  // a mediating slot takes one back
  EXPECT_EQ(second.find("seq_num")->intOr(-9), 2);
  EXPECT_EQ(second.find("basets")->intOr(0) + 2000, second.find("currts")->intOr(0));
  EXPECT_EQ(application->timeSinceFirstAdRequestInMilliseconds(), 2000u);
  EXPECT_EQ(application->nextSequenceNumberAsString(), "3");
  application->incrementTotalAdClickCount();
  EXPECT_EQ(application->statistics()->objectForKey("pclick").intOr(0), 1);

  EXPECT_EQ(application->nextActiveViewID(), 1u);
  EXPECT_EQ(application->nextActiveViewID(), 2u);
  EXPECT_EQ(application->parameters(),
            (platform::Dictionary{{"appversion", "3.1"},
                                  {"bundleid", "com.example.ads-app"},
                                  {"osversion", ZADDevice::sharedInstance().systemVersion()},
                                  {"rdid", "00000000-0000-0000-0000-000000000000"},
                                  {"lat", "1"},
                                  {"sdkversion", "voda-sdk-i-v7.7.0"}}));
}

TEST_F(ZADApplicationTest, AReturnAfterAClickOutRecordsThePair) {
  platform::ManualClock clock;
  auto application = ZADApplication::make();
  auto clicked = std::make_shared<ads::testing::FakeAd>(application);
  const Value clickTime = ZADAbsoluteTime::absoluteTimeInMilliseconds();
  clicked->statistics()->setObject(clickTime, "tclickcurr");
  application->willLeaveApplicationDueToClickOnAd(clicked);
  clock.advanceSeconds(5);
  platform::NotificationCenter::defaultCenter().post(
      platform::ui::kApplicationDidBecomeActiveNotification);
  platform::testing::drainMainLoop();
  EXPECT_EQ(clicked->statistics()->objectForKey("tclick"),
            Value::array({Value::array({clickTime, clickTime.intOr(0) + 5000})}));
  // The pair reached the statistics waiting to be sent, once.
  std::vector<std::shared_ptr<ZADStatisticDictionary>> pending;
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] {
    for (auto& dictionary : application->pendingAdStatistics()) pending.push_back(dictionary);
    return !pending.empty();
  }));
  EXPECT_EQ(pending, std::vector<std::shared_ptr<ZADStatisticDictionary>>{clicked->statistics()});
  application->didNotSendAdStatistics(pending);
  EXPECT_EQ(application->pendingAdStatistics().size(), 1u);

  // A return without a known click time adds nothing; nor does a second return.
  auto unclicked = std::make_shared<ads::testing::FakeAd>(application);
  application->willLeaveApplicationDueToClickOnAd(unclicked);
  application->didBecomeActive();
  application->didBecomeActive();
  EXPECT_TRUE(unclicked->statistics()->objectForKey("tclick").isNull());
  EXPECT_EQ(clicked->statistics()->objectForKey("tclick").size(), 1u);
}

class HTMLAdapter final : public ZADMAdNetworkAdapter {};

TEST_F(ZADApplicationTest, AvailableAdaptersAreTheOnesTheAppHolds) {
  auto application = ZADApplication::make();
  EXPECT_FALSE(application->availableAdapterNames());
  ZADMAdNetworkAdapterRegistry::instance().add("ZADMAdapterHTML",
                                               [] { return std::make_shared<HTMLAdapter>(); });
  ZADMAdNetworkAdapterRegistry::instance().add("ServerNamedAdapter",
                                               [] { return std::make_shared<HTMLAdapter>(); });
  application->updateAvailableAdapterNamesWithPotentialAdapterNames({});
  EXPECT_EQ(application->availableAdapterNames(), std::vector<std::string>{"ZADMAdapterHTML"});
  application->updateAvailableAdapterNamesWithPotentialAdapterNames({"ServerNamedAdapter", "Gone"});
  EXPECT_EQ(application->availableAdapterNames(),
            (std::vector<std::string>{"ServerNamedAdapter", "ZADMAdapterHTML"}));
}

}  // namespace
