#include "platform/media/system_sound.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/dispatch/queue.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/wav.h"

namespace platform::media {
namespace {

TEST(SystemSoundTest, PlaysEachTimeAndCompletesOnTheMainQueue) {
  SystemSound::setAudioSink("fakesink");
  platform::testing::TempDir folder;
  const auto file = folder.path() / "beep.wav";
  std::ofstream(file, std::ios::binary) << platform::testing::wavOf(0.020, 8000, 0);

  Result<std::shared_ptr<SystemSound>> sound = SystemSound::create(file);
  ASSERT_TRUE(sound);
  const uint64_t before = SystemSound::playCount();
  int completions = 0;
  bool onMainThread = false;
  (*sound)->play([&] {
    ++completions;
    onMainThread = isMainThread();
    (*sound)->play([&] { ++completions; });  // again, from its own completion
  });
  EXPECT_EQ(completions, 0);  // never inline
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return completions == 2; }));
  EXPECT_TRUE(onMainThread);
  EXPECT_EQ(SystemSound::playCount() - before, 2u);
}

TEST(SystemSoundTest, AFileThatIsNoSoundCompletesAndAMissingOneIsAnError) {
  SystemSound::setAudioSink("fakesink");
  platform::testing::TempDir folder;
  EXPECT_FALSE(SystemSound::create(folder.path() / "missing.wav"));
  EXPECT_FALSE(SystemSound::create(folder.path()));

  const auto file = folder.path() / "noise.wav";
  std::ofstream(file, std::ios::binary) << "not a sound";
  Result<std::shared_ptr<SystemSound>> sound = SystemSound::create(file);
  ASSERT_TRUE(sound);
  bool completed = false;
  (*sound)->play([&] { completed = true; });
  EXPECT_TRUE(platform::testing::runMainLoopUntil([&] { return completed; }));
}

TEST(SystemSoundTest, VibrationIsAcceptedWithoutAVibrator) {
  const uint64_t before = SystemSound::playCount();
  EXPECT_FALSE(playSystemSoundWithID(kSystemSoundIDVibrate));
  EXPECT_EQ(SystemSound::playCount(), before);
}

}  // namespace
}  // namespace platform::media
