#include "ads/foundation/statistics.h"

#include <gtest/gtest.h>

#include <atomic>

#include "ads/foundation/monotonic_clock.h"
#include "ads/foundation/statistic_dictionary.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace {

using platform::Dictionary;
using platform::Value;

class CountingDelegate final : public ZADStatisticDictionaryDelegate {
 public:
  platform::QueuePtr notificationQueue() override { return queue; }
  void didUpdateStatisticDictionary(const std::shared_ptr<ZADStatisticDictionary>&) override {
    ++calls;
  }
  platform::QueuePtr queue = platform::makeSerialQueue("test.delegate");
  std::atomic<int> calls{0};
};

TEST(ZADStatisticDictionaryTest, CountersListsAndTypeMismatches) {
  auto statistics = ZADStatisticDictionary::make();
  statistics->decrementNumberForKey("absent", false);
  statistics->incrementNumberForKey("n", false);
  statistics->incrementNumberForKey("n", false);
  statistics->setObject("text", "s");
  statistics->incrementNumberForKey("s", false);
  statistics->addDecimalNumber(0.5, "n", false);
  statistics->addObjectToArray(Value::array({1, 2}), "tclick", false);
  statistics->addObjectToArray(3, "tclick", false);
  statistics->addObjectToArray(3, "s", false);
  statistics->setObject("x", "gone");
  statistics->setObject(nullptr, "gone");
  EXPECT_EQ(statistics->objectForKey("absent"), Value(-1));
  EXPECT_EQ(statistics->objectForKey("n"), Value(2.5));
  EXPECT_EQ(statistics->objectForKey("s"), Value("text"));
  EXPECT_EQ(statistics->objectForKey("tclick"), Value::array({Value::array({1, 2}), 3}));
  EXPECT_FALSE(statistics->dictionary().contains("gone"));
  EXPECT_NE(statistics->description().find("queue: com.zorova.zizov.statistics"),
            std::string::npos);
}

TEST(ZADStatisticDictionaryTest, NotificationsAreCoalescedAndStopWhenSealed) {
  auto delegate = std::make_shared<CountingDelegate>();
  auto statistics = ZADStatisticDictionary::make(delegate);
  for (int i = 0; i < 10; ++i) statistics->incrementNumberForKey("plpnc", true);
  statistics->dictionary();  // every change and its notification task have run
  delegate->queue->sync([] {});
  EXPECT_GE(delegate->calls, 1);
  EXPECT_LE(delegate->calls, 10);
  EXPECT_EQ(statistics->objectForKey("plpnc"), Value(10));

  const int before = delegate->calls;
  statistics->incrementNumberForKey("quiet", false);
  statistics->dictionary();
  delegate->queue->sync([] {});
  EXPECT_EQ(delegate->calls, before);

  statistics->incrementNumberForKey("plpnc", true);
  statistics->didFinishModifying();
  EXPECT_EQ(delegate->calls, before + 1);  // the queued notification still came
  EXPECT_EQ(statistics->delegate(), nullptr);
  statistics->setObject(1, "late", true);
  EXPECT_FALSE(statistics->dictionary().contains("late"));
}

class ZADStatisticsCoreTest : public ::testing::Test {
 protected:
  platform::testing::TestApp app_;
};

TEST_F(ZADStatisticsCoreTest, PersistsPerAdUnitWithoutCarryingValuesAcross) {
  auto core = ZADStatisticsCore::make();
  core->setIdentifier("unit-a");
  core->appendStringToArrayForKey("1", "list");
  core->appendStringToArrayForKey("2", "list");
  EXPECT_EQ(core->arrayForKey("list"), Value::array({"1", "2"}));
  EXPECT_EQ(platform::UserDefaults::standard()->objectForKey("zorova_stats_unit-a"),
            Value::dictionary({{"list", Value::array({"1", "2"})}}));

  core->setIdentifier("unit-b");
  EXPECT_TRUE(core->statistics().empty());
  core->appendStringToArrayForKey("9", "other");
  core->applicationWillTerminate();  // the change and its save have run
  EXPECT_EQ(platform::UserDefaults::standard()->objectForKey("zorova_stats_unit-b"),
            Value::dictionary({{"other", Value::array({"9"})}}));

  // A new store for unit a finds its values again.
  auto again = ZADStatisticsCore::make();
  again->setIdentifier("unit-a");
  EXPECT_EQ(again->arrayForKey("list"), Value::array({"1", "2"}));

  // Without an identifier nothing is written.
  auto unbound = ZADStatisticsCore::make();
  unbound->setIdentifier("");
  unbound->appendStringToArrayForKey("x", "list");
  unbound->removeObjectForKey("nothing");
  platform::NotificationCenter::defaultCenter().post(
      platform::ui::kApplicationWillTerminateNotification);
  EXPECT_EQ(unbound->arrayForKey("list"), Value::array({"x"}));
  EXPECT_TRUE(platform::UserDefaults::standard()->objectForKey("zorova_stats_").isNull());
}

TEST(ZADMonotonicClockTest, ReadingsAreNeverZeroAndFollowTheClock) {
  const uint64_t first = ZADMonotonicMilliseconds();
  EXPECT_GE(first, 1u);
  platform::ManualClock clock;
  const uint64_t before = ZADMonotonicMilliseconds();
  clock.advanceSeconds(0.015);
  EXPECT_EQ(ZADMonotonicMilliseconds() - before, 15u);
  EXPECT_TRUE(ZADAbsoluteTime::absoluteTimeInMilliseconds().isInteger());
}

TEST(ZADTimingTest, StatesAndElapsedTime) {
  platform::ManualClock clock;
  ZADTiming timing("fetch");
  timing.end();
  EXPECT_EQ(timing.endTimestamp(), 0u);
  EXPECT_EQ(timing.elapsedMilliseconds(), 0u);

  timing.start();
  EXPECT_TRUE(timing.isActive());
  clock.advanceSeconds(0.2);
  EXPECT_EQ(timing.elapsedMilliseconds(), 200u);  // running
  timing.setExplicitEnd(true);
  EXPECT_EQ(timing.elapsedMilliseconds(), 0u);  // explicit end: nothing until ended
  clock.advanceSeconds(0.1);
  timing.end();
  EXPECT_FALSE(timing.isActive());
  EXPECT_EQ(timing.elapsedMillisecondsString(), "300");

  auto copy = timing.copy();
  EXPECT_EQ(copy->dictionaryRepresentation(), timing.dictionaryRepresentation());
  timing.reset();
  EXPECT_EQ(timing.startTimestamp(), 0u);
  EXPECT_NE(ZADTiming().category().find("ZADTiming (0x"), std::string::npos);
}

class ZADSlotStatisticsTest : public ::testing::Test {
 protected:
  platform::testing::TestApp app_;
};

TEST_F(ZADSlotStatisticsTest, AdapterDurationsAndExitCodesGrowInStep) {
  platform::ManualClock clock;
  ZADSlotStatistics slot;
  slot.setIdentifier("unit");
  EXPECT_FALSE(slot.adapterDurationsParameter());

  slot.startTimingAdapter();
  clock.advanceSeconds(0.015);
  EXPECT_EQ(slot.timingNamed("adapter")->elapsedMilliseconds(), 0u);  // explicit end
  slot.endTimingAdapterWithExitCode(2);
  slot.startTimingAdapter();
  clock.advanceSeconds(0.120);
  slot.endTimingAdapterWithExitCode(0);
  EXPECT_EQ(slot.adapterDurationsParameter(), "15,120");
  EXPECT_EQ(slot.adapterExitCodesParameter(), "2,0");

  slot.resetTimingAdapters();
  EXPECT_FALSE(slot.adapterDurationsParameter());
  EXPECT_FALSE(slot.adapterExitCodesParameter());
}

TEST_F(ZADSlotStatisticsTest, RemovedTimingsComeBackFromStorageUntilAnAddSaves) {
  {
    auto manager = ZADTimingManager::make();
    manager->setIdentifier("unit");
    manager->addTimingWithCategory("a")->start();
    manager->addTimingWithCategory("b");  // saves both
    manager->removeTimingForCategory("a");
  }
  auto reloaded = ZADTimingManager::make();
  reloaded->setIdentifier("unit");
  EXPECT_EQ(reloaded->categories(), (std::vector<std::string>{"a", "b"}));
  EXPECT_NE(reloaded->timingForCategory("a")->startTimestamp(), 0u);

  reloaded->removeTimingForCategory("a");
  reloaded->addTimingWithCategory("c");
  reloaded.reset();  // waits for its saves
  auto third = ZADTimingManager::make();
  third->setIdentifier("unit");
  EXPECT_EQ(third->categories(), (std::vector<std::string>{"b", "c"}));
}

}  // namespace
