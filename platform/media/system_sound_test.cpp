#include "platform/media/system_sound.h"

#include "platform/media/media_test_support.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"

namespace platform::media {
namespace {

using SystemSoundTest = testing::SoundTest;

TEST_F(SystemSoundTest, PlaysOnceAndCompletesAlsoWhenItCannot) {
  int completions = 0;
  playSystemSound(writeWav("beep.wav", 0.2), [&] { ++completions; });
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return completions == 1; }));

  platform::testing::LogCapture log;
  playSystemSound((dir_ / "missing.wav").string(), [&] { ++completions; });
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return completions == 2; }));
  EXPECT_TRUE(log.contains("Cannot play the sound"));
  platform::testing::drainMainLoop();
  EXPECT_EQ(completions, 2);
}

}  // namespace
}  // namespace platform::media
