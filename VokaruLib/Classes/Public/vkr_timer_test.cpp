#include "VokaruLib/Classes/Public/vkr_timer.h"

#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"
#include "platform/testing/log_capture.h"

namespace {

class VKRTimerTest : public ::testing::Test {
 protected:
  ~VKRTimerTest() override { VKRTimer::clearAll(); }
  platform::ManualClock clock_;
  platform::testing::LogCapture log_;
};

TEST_F(VKRTimerTest, NamesMatchWithoutRegardToCaseAndTheLogShowsTheStartName) {
  VKRTimer::start("Foo");
  clock_.advanceSeconds(0.25);
  VKRTimer::stop("foo");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"[VKRTimer][Foo] 250.000000ms"}));
  log_.clear();
  VKRTimer::stop("Foo");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Timer called 'Foo' does not exist."}));
}

TEST_F(VKRTimerTest, ASecondStartKeepsTheRunningStopwatch) {
  VKRTimer::start("Startup");
  clock_.advanceSeconds(1);
  VKRTimer::start("STARTUP");
  clock_.advanceSeconds(1);
  VKRTimer::stop("startup");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Timer called 'STARTUP' already exists.",
                                                    "[VKRTimer][Startup] 2000.000000ms"}));
}

TEST_F(VKRTimerTest, ClearAllForgetsSilently) {
  VKRTimer::start("A");
  VKRTimer::clearAll();
  EXPECT_TRUE(log_.lines().empty());
  VKRTimer::stop("A");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Timer called 'A' does not exist."}));
}

}  // namespace
