#include "platform/ui/view_animation.h"

#include <gtest/gtest.h>

#include "platform/testing/main_loop.h"

namespace platform::ui {
namespace {

TEST(ViewAnimationTest, AlphaFadesInStepsOnTheClockThenCompletes) {
  ManualClock clock;
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  b->setAlpha(0.5);
  int completions = 0;
  animateAlpha({a, b}, 0, seconds(2), [&] { ++completions; });
  EXPECT_EQ(a->alpha(), 1);

  clock.advanceSeconds(1);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return a->alpha() < 1; }));
  EXPECT_NEAR(a->alpha(), 0.5, 0.01);
  EXPECT_NEAR(b->alpha(), 0.25, 0.01);
  EXPECT_EQ(completions, 0);

  b.reset();  // a view gone meanwhile is skipped
  clock.advanceSeconds(1.5);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return completions == 1; }));
  EXPECT_EQ(a->alpha(), 0);
  clock.advanceSeconds(1);
  platform::testing::drainMainLoop();
  EXPECT_EQ(completions, 1);
}

TEST(ViewAnimationTest, AZeroDurationSetsTheAlphaAtOnceAndCompletesLater) {
  auto view = std::make_shared<View>();
  bool completed = false;
  animateAlpha({view}, 0, Duration::zero(), [&] { completed = true; });
  EXPECT_EQ(view->alpha(), 0);
  EXPECT_FALSE(completed);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return completed; }));
}

}  // namespace
}  // namespace platform::ui
