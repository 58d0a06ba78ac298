#include "platform/dispatch/once_callback.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(OnceCallbackTest, RunsOnceAcrossCopiesAndThreads) {
  std::atomic<int> runs{0};
  int dropped = 0;
  {
    OnceCallback<int> callback([&](int value) { runs += value; }, [&] { ++dropped; });
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([copy = callback] { copy(1); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_TRUE(callback.hasRun());
    EXPECT_FALSE(callback(1));
  }
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(dropped, 0);
}

TEST(OnceCallbackTest, LastCopyDroppedUncalledRunsTheDroppedWorkOnce) {
  int dropped = 0;
  {
    OnceCallback<> callback([] { FAIL() << "never called"; }, [&] { ++dropped; });
    std::function<void()> asFunction = callback;  // copies share the one run
    EXPECT_EQ(dropped, 0);
  }
  EXPECT_EQ(dropped, 1);
}

}  // namespace
}  // namespace platform
