#include "platform/dispatch/timer.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/testing/main_loop.h"

namespace platform {
namespace {

TEST(ManualClockTest, TimeMovesOnlyWhenAdvanced) {
  ManualClock manual(Date{1000});
  EXPECT_EQ(now().secondsSince1970, 1000);
  const MonotonicTime start = monotonicNow();
  manual.advanceSeconds(2.5);
  EXPECT_DOUBLE_EQ(now().secondsSince1970, 1002.5);
  EXPECT_EQ(monotonicNow() - start, seconds(2.5));
}

TEST(ManualClockTest, FiresDueTimersInOrderAtTheirOwnTimes) {
  ManualClock manual;
  const Date start = now();
  std::vector<std::pair<std::string, double>> fired;
  auto record = [&](std::string name) {
    return [&fired, &start, name] {
      fired.emplace_back(name, now().secondsSince1970 - start.secondsSince1970);
    };
  };
  dispatchAfter(seconds(30), mainQueue(), record("30s"));
  dispatchAfter(seconds(5), mainQueue(), [&, record] {
    record("5s")();
    // Scheduled inside the window: fires in the same advance.
    dispatchAfter(seconds(1), mainQueue(), record("6s"));
  });
  dispatchAfter(seconds(120), mainQueue(), record("120s"));

  manual.advanceSeconds(4);
  EXPECT_TRUE(fired.empty());
  manual.advanceSeconds(56);
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_EQ(fired[0], std::make_pair(std::string("5s"), 5.0));
  EXPECT_EQ(fired[1], std::make_pair(std::string("6s"), 6.0));
  EXPECT_EQ(fired[2], std::make_pair(std::string("30s"), 30.0));
  manual.advanceSeconds(3 * 24 * 3600);
  EXPECT_EQ(fired.size(), 4u);
}

TEST(ManualClockTest, CancelledAndRepeatingTimers) {
  ManualClock manual;
  int once = 0;
  int ticks = 0;
  Timer cancelled = dispatchAfter(seconds(1), mainQueue(), [&] { ++once; });
  Timer repeating = scheduleRepeating(seconds(10), mainQueue(), [&] { ++ticks; });
  EXPECT_TRUE(cancelled.isValid());
  cancelled.cancel();
  EXPECT_FALSE(cancelled.isValid());
  manual.advanceSeconds(35);
  EXPECT_EQ(once, 0);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(repeating.isValid());
  repeating.cancel();
  manual.advanceSeconds(100);
  EXPECT_EQ(ticks, 3);
}

TEST(ManualClockTest, SerialQueueTimersHaveRunWhenAdvanceReturns) {
  ManualClock manual;
  QueuePtr queue = makeSerialQueue("test.timer");
  std::atomic<int> ran{0};
  dispatchAfter(seconds(2), queue, [&] { ++ran; });
  manual.advanceSeconds(2);
  EXPECT_EQ(ran.load(), 1);
}

TEST(ManualClockTest, TimersOfAGoneClockNeverFire) {
  std::atomic<bool> fired{false};
  {
    ManualClock manual;
    dispatchAfter(seconds(1), mainQueue(), [&] { fired = true; });
  }
  // Back on the system clock: the manual timer was dropped with its clock.
  Timer real = dispatchAfter(std::chrono::milliseconds(20), mainQueue(), [] {});
  testing::runMainLoopUntil([&] { return !real.isValid(); });
  EXPECT_FALSE(fired.load());
}

TEST(SystemClockTimerTest, FiresOnTheTargetQueue) {
  bool onMain = false;
  bool fired = false;
  dispatchAfter(std::chrono::milliseconds(10), mainQueue(), [&] {
    onMain = isMainThread();
    fired = true;
  });
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return fired; }));
  EXPECT_TRUE(onMain);

  int ticks = 0;
  Timer timer = scheduleRepeating(std::chrono::milliseconds(5), mainQueue(), [&] {
    if (++ticks == 3) timer.cancel();
  });
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return ticks >= 3; }));
  EXPECT_FALSE(timer.isValid());
}

TEST(TimerTest, CancelAfterPostingStillPreventsTheWork) {
  ManualClock manual;
  bool ran = false;
  Timer timer = dispatchAfter(seconds(1), mainQueue(), [&] { ran = true; });
  // Fire from a worker thread: the work is posted to the main queue but not run yet.
  std::thread([&] { manual.advanceSeconds(1); }).join();
  timer.cancel();
  testing::drainMainLoop();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace platform
