#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "ads/foundation/block_timer.h"
#include "ads/foundation/cache_set.h"
#include "ads/foundation/scheduler.h"
#include "ads/foundation/string_encoding.h"
#include "ads/foundation/weak_reference.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::ManualClock;

TEST(ZADStringEncodingTest, WebSafeBase64WithAndWithoutPadding) {
  ZAD_ZTMStringEncoding coder = ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
  const platform::Bytes bytes = {0xfb, 0xff, 0xbf, 0x00};
  EXPECT_EQ(coder.encode(bytes), "-_-_AA==");
  coder.setDoPad(false);
  EXPECT_EQ(coder.encode(bytes), "-_-_AA");
  EXPECT_EQ(coder.decode("-_-_AA"), bytes);
  EXPECT_EQ(coder.decode("-_-_AA=="), bytes);
  EXPECT_FALSE(coder.decode("-_-_AA=A"));  // data after padding
  EXPECT_FALSE(coder.decode("-_-_AB"));    // unused low bits not zero
  EXPECT_FALSE(ZAD_ZTMStringEncoding::stringEncodingWithString("abc"));
  EXPECT_FALSE(ZAD_ZTMStringEncoding::stringEncodingWithString("abca"));
}

TEST(ZADCacheSetTest, KeepsUpToItsCapacityAndEmptiesOnMemoryWarning) {
  ZADCacheSet<int> cache(3);
  for (int i = 0; i < 5; ++i) cache.addObject(std::make_shared<int>(i));
  int taken = 0;
  std::vector<std::shared_ptr<int>> kept;
  while (auto object = cache.anyObject()) kept.push_back(object), ++taken;
  EXPECT_EQ(taken, 3);
  EXPECT_EQ(cache.anyObject(), nullptr);

  for (auto& object : kept) cache.addObject(object);
  platform::NotificationCenter::defaultCenter().post(
      platform::ui::kApplicationDidReceiveMemoryWarningNotification);
  platform::testing::drainMainLoop();
  EXPECT_EQ(cache.anyObject(), nullptr);
}

TEST(ZADCacheSetTest, AnyObjectTakesTheObjectOut) {
  ZADCacheSet<int> cache(1);
  auto object = std::make_shared<int>(7);
  cache.addObject(object);
  EXPECT_EQ(cache.anyObject(), object);
  EXPECT_EQ(cache.anyObject(), nullptr);
}

TEST(ZADWeakReferenceTest, EqualityAndHashSurviveTheObject) {
  auto object = std::make_shared<int>(1);
  auto first = ZADWeakReference<int>::make(object);
  auto second = ZADWeakReference<int>::make(object);
  ASSERT_TRUE(first && second);
  ZADWeakReference<int>::Set set{*first};
  EXPECT_TRUE(ZADWeakReference<int>::setContainsObject(set, object));
  EXPECT_FALSE(ZADWeakReference<int>::setContainsObject(set, std::make_shared<int>(1)));
  object.reset();
  EXPECT_EQ(first->weakObject(), nullptr);
  EXPECT_TRUE(*first == *second);
  EXPECT_EQ(first->hash(), second->hash());
  EXPECT_FALSE(ZADWeakReference<int>::make(nullptr));
}

TEST(ZADSchedulerTest, RunsTasksEveryIntervalOnTheirQueues) {
  ManualClock clock;
  auto scheduler = ZADScheduler::make(60);
  std::atomic<int> onMain{0}, onSerial{0};
  auto serial = platform::makeSerialQueue("test.scheduler");
  EXPECT_EQ(scheduler->taskIDScheduledOnQueue(platform::mainQueue(), nullptr), -1);
  EXPECT_EQ(scheduler->taskIDScheduledOnQueue(nullptr, [] {}), -1);
  EXPECT_EQ(scheduler->taskIDScheduledOnQueue(platform::mainQueue(), [&] { ++onMain; }), 1);
  EXPECT_EQ(scheduler->taskIDScheduledOnQueue(serial, [&] { ++onSerial; }), 2);
  scheduler->start();
  scheduler->start();  // one timer only

  clock.advanceSeconds(59);
  platform::testing::drainMainLoop();
  EXPECT_EQ(onMain, 0);
  clock.advanceSeconds(1);
  platform::testing::drainMainLoop();
  serial->sync([] {});
  EXPECT_EQ(onMain, 1);
  EXPECT_EQ(onSerial, 1);

  scheduler->unscheduleTaskWithID(2);
  clock.advanceSeconds(60);
  platform::testing::drainMainLoop();
  serial->sync([] {});
  EXPECT_EQ(onMain, 2);
  EXPECT_EQ(onSerial, 1);

  scheduler->stop();
  clock.advanceSeconds(600);
  platform::testing::drainMainLoop();
  EXPECT_EQ(onMain, 2);
  EXPECT_NE(scheduler->description().find("1 blocks, 60.000000 interval"), std::string::npos);
}

TEST(ZADSchedulerTest, TimerDoesNotKeepTheSchedulerAlive) {
  ManualClock clock;
  std::weak_ptr<ZADScheduler> weak;
  {
    auto scheduler = ZADScheduler::make(1);
    scheduler->start();
    weak = scheduler;
  }
  EXPECT_TRUE(weak.expired());
  clock.advanceSeconds(5);  // nothing left to fire into
  platform::testing::drainMainLoop();
}

TEST(ZADBlockTimerTest, OneShotAndRepeatingTimersFindTheirOwnerGone) {
  ManualClock clock;
  int once = 0;
  zad_scheduledTimerWithTimeInterval(2, false, 0, [&] { ++once; });
  auto owner = std::make_shared<int>(0);
  int firedWithoutOwner = 0;
  platform::Timer repeating = zad_scheduledTimerWithTimeInterval(
      1, true, 0.1, [weak = std::weak_ptr<int>(owner), &firedWithoutOwner] {
        if (auto o = weak.lock()) {
          ++*o;
        } else {
          ++firedWithoutOwner;
        }
      });
  clock.advanceSeconds(3);
  platform::testing::drainMainLoop();
  EXPECT_EQ(once, 1);
  EXPECT_EQ(*owner, 3);
  owner.reset();
  clock.advanceSeconds(2);
  platform::testing::drainMainLoop();
  EXPECT_EQ(firedWithoutOwner, 2);
  repeating.cancel();
}

}  // namespace
