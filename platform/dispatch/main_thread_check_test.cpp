#include "platform/dispatch/main_thread_check.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/testing/assertion_capture.h"

namespace platform {
namespace {

void mainThreadOnlyDoor() { VKR_ASSERT_MAIN_THREAD(); }

TEST(MainThreadCheckTest, PassesOnTheMainThreadAndReportsOtherThreadsByFunction) {
  testing::AssertionCapture capture;
  mainThreadOnlyDoor();
  EXPECT_TRUE(capture.messages().empty());
  std::thread([] { mainThreadOnlyDoor(); }).join();
#if !defined(NDEBUG) || defined(VOKARU_THREAD_CHECKS)
  EXPECT_EQ(capture.messages(),
            std::vector<std::string>{"mainThreadOnlyDoor called off the main thread"});
#else
  EXPECT_TRUE(capture.messages().empty());
#endif
}

}  // namespace
}  // namespace platform
