#include <glib-unix.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "platform/dispatch/group.h"
#include "platform/dispatch/queue.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"

namespace platform {
namespace {

using testing::runMainLoopUntil;

TEST(MainQueueTest, RunsInOrderAndNeverInline) {
  ASSERT_TRUE(isMainThread());
  std::vector<int> order;
  mainQueue()->async([&] {
    order.push_back(1);
    mainQueue()->async([&] { order.push_back(3); });
  });
  mainQueue()->async([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(runMainLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MainQueueTest, WorkFromOtherThreadsArrivesOnTheMainThread) {
  std::atomic<int> onMain{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      EXPECT_FALSE(isMainThread());
      for (int k = 0; k < 50; ++k) {
        mainQueue()->async([&] { onMain += isMainThread() ? 1 : 1000; });
      }
    });
  }
  for (std::thread& t : threads) t.join();
  ASSERT_TRUE(runMainLoopUntil([&] { return onMain.load() >= 200; }));
  EXPECT_EQ(onMain.load(), 200);
}

TEST(MainQueueTest, SyncFromAWorkerWaitsForTheMainThread) {
  std::atomic<bool> done{false};
  bool ranOnMain = false;
  std::thread worker([&] {
    mainQueue()->sync([&] { ranOnMain = isMainThread(); });
    done = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(SerialQueueTest, RunsInOrderOnItsOwnThread) {
  QueuePtr queue = makeSerialQueue("test.serial");
  std::vector<int> order;
  std::atomic<bool> current{false};
  for (int i = 0; i < 100; ++i) queue->async([&order, i] { order.push_back(i); });
  queue->sync([&] { current = queue->isCurrent() && !isMainThread(); });
  EXPECT_TRUE(current);
  EXPECT_FALSE(queue->isCurrent());
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  // sync on the queue from its own work runs at once instead of deadlocking.
  bool nested = false;
  queue->sync([&] { queue->sync([&] { nested = true; }); });
  EXPECT_TRUE(nested);
}

TEST(SerialQueueTest, PendingWorkRunsBeforeTheQueueGoesAway) {
  std::atomic<int> ran{0};
  {
    QueuePtr queue = makeSerialQueue("test.drain");
    for (int i = 0; i < 20; ++i) queue->async([&] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 20);
}

TEST(SerialQueueTest, AQueueReleasedByItsOwnWorkStillRunsWhatWasQueued) {
  std::promise<void> outerReleased;
  std::shared_future<void> released = outerReleased.get_future().share();
  std::atomic<bool> ran{false};
  {
    QueuePtr queue = makeSerialQueue("test.self-release");
    // The work holds the last reference once the test lets go of its own.
    queue->async([queue, released, &ran] {
      released.wait();
      queue->async([&ran] { ran = true; });
    });
  }
  outerReleased.set_value();
  EXPECT_TRUE(runMainLoopUntil([&] { return ran.load(); }));
}

TEST(QueueTest, AThrowingItemIsLoggedAndTheQueueGoesOn) {
  testing::LogCapture logs;
  QueuePtr queue = makeSerialQueue("test.throw");
  queue->async([] { throw std::runtime_error("boom"); });
  bool after = false;
  queue->sync([&] { after = true; });
  EXPECT_TRUE(after);
  EXPECT_TRUE(logs.contains("Uncaught exception on queue 'test.throw': boom"));
}

TEST(GlobalQueueTest, RunsConcurrentlyOffTheMainThread) {
  DispatchGroup group;
  std::atomic<int> ran{0};
  std::atomic<int> offMain{0};
  for (int i = 0; i < 64; ++i) {
    group.async(globalQueue(), [&] {
      ++ran;
      if (!isMainThread() && globalQueue()->isCurrent()) ++offMain;
    });
  }
  EXPECT_TRUE(group.wait(seconds(10)));
  EXPECT_EQ(ran.load(), 64);
  EXPECT_EQ(offMain.load(), 64);
}

TEST(DispatchGroupTest, NotifiesOnceEveryTaskHasLeft) {
  DispatchGroup group;
  group.enter();
  group.enter();
  bool notified = false;
  group.notify(mainQueue(), [&] { notified = true; });
  group.leave();
  testing::drainMainLoop();
  EXPECT_FALSE(notified);
  EXPECT_FALSE(group.wait(std::chrono::milliseconds(1)));
  group.leave();
  EXPECT_TRUE(group.wait(Duration{0}));
  ASSERT_TRUE(runMainLoopUntil([&] { return notified; }));
  group.leave();  // unbalanced: ignored
  bool again = false;
  group.notify(mainQueue(), [&] { again = true; });
  EXPECT_TRUE(runMainLoopUntil([&] { return again; }));
}

TEST(RunOnMainThreadTest, RunsAtOnceOnMainElseLater) {
  bool ran = false;
  runOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  std::atomic<bool> fromWorker{false};
  std::thread([&] { runOnMainThread([&] { fromWorker = isMainThread(); }); }).join();
  EXPECT_TRUE(runMainLoopUntil([&] { return fromWorker.load(); }));
}

TEST(RunMainLoopOnceTest, RunsReadyWorkWithoutWaitingForTheTimeout) {
  testing::drainMainLoop();
  bool ran = false;
  mainQueue()->async([&] { ran = true; });
  const auto start = std::chrono::steady_clock::now();
  runMainLoopOnce(seconds(30));
  EXPECT_TRUE(ran);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  // With nothing to do, the turn ends when the time-out passes.
  runMainLoopOnce(std::chrono::milliseconds(1));
}

TEST(RunMainLoopOnceTest, WaitsOnceTheMainQueueIsDrained) {
  testing::drainMainLoop();
  int runs = 0;
  mainQueue()->async([&] { ++runs; });
  runMainLoopOnce(seconds(30));
  ASSERT_EQ(runs, 1);
  // The queue has nothing left: the next turn waits for its time-out instead of finding the
  // queue still ready.
  const auto start = std::chrono::steady_clock::now();
  runMainLoopOnce(std::chrono::milliseconds(20));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
  EXPECT_EQ(runs, 1);
}

TEST(RunMainLoopOnceTest, WatchesEveryDescriptorOfTheLoop) {
  testing::drainMainLoop();
  // More descriptors than a turn first makes room for; only the last becomes readable.
  constexpr int kPipes = 20;
  struct Watch {
    std::array<int, 2> ends{-1, -1};
    guint source = 0;
    bool fired = false;
  };
  std::vector<Watch> watches(kPipes);
  for (Watch& watch : watches) {
    ASSERT_EQ(pipe(watch.ends.data()), 0);
    watch.source = g_unix_fd_add(
        watch.ends[0], G_IO_IN,
        [](gint, GIOCondition, gpointer data) -> gboolean {
          static_cast<Watch*>(data)->fired = true;
          return G_SOURCE_REMOVE;
        },
        &watch);
  }
  ASSERT_EQ(write(watches.back().ends[1], "x", 1), 1);
  const auto start = std::chrono::steady_clock::now();
  while (!watches.back().fired &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    runMainLoopOnce(seconds(1));
  }
  EXPECT_TRUE(watches.back().fired);
  for (Watch& watch : watches) {
    if (!watch.fired) g_source_remove(watch.source);
    EXPECT_EQ(watch.fired, &watch == &watches.back());
    close(watch.ends[0]);
    close(watch.ends[1]);
  }
}

TEST(RunMainLoopOnceTest, WorkFromAnotherThreadEndsAWaitingTurn) {
  testing::drainMainLoop();
  std::atomic<bool> ran{false};
  std::thread poster([&] { mainQueue()->async([&] { ran = true; }); });
  const auto start = std::chrono::steady_clock::now();
  while (!ran.load() && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    runMainLoopOnce(seconds(30));
  }
  poster.join();
  EXPECT_TRUE(ran.load());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace platform
