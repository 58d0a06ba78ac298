#include "platform/media/audio_player.h"

#include "platform/dispatch/clock.h"
#include "platform/media/media_error.h"
#include "platform/media/media_test_support.h"
#include "platform/testing/main_loop.h"

namespace platform::media {
namespace {

using platform::testing::runMainLoopUntil;

class AudioPlayerTest : public testing::SoundTest {
 protected:
  std::shared_ptr<AudioPlayer> playerFor(double seconds) {
    Result<std::shared_ptr<AudioPlayer>> player =
        AudioPlayer::create(writeWav("tone.wav", seconds));
    EXPECT_TRUE(player.ok()) << player.error().description();
    if (!player.ok()) return nullptr;
    (*player)->setFinishedHandler([this](bool successfully) { finished_.push_back(successfully); });
    return *player;
  }

  std::vector<bool> finished_;
};

TEST_F(AudioPlayerTest, PlaysToTheEndAndReportsSuccess) {
  std::shared_ptr<AudioPlayer> player = playerFor(0.3);
  ASSERT_TRUE(player);
  EXPECT_NEAR(player->duration(), 0.3, 0.01);
  EXPECT_FALSE(player->isPlaying());
  ASSERT_TRUE(player->play());
  EXPECT_TRUE(player->isPlaying());
  ASSERT_TRUE(runMainLoopUntil([&] { return !finished_.empty(); }));
  EXPECT_EQ(finished_, std::vector<bool>{true});
  EXPECT_FALSE(player->isPlaying());
}

TEST_F(AudioPlayerTest, SeeksPausesAndKeepsVolumeAndRate) {
  std::shared_ptr<AudioPlayer> player = playerFor(2);
  ASSERT_TRUE(player);
  ASSERT_TRUE(player->prepareToPlay());
  player->setCurrentTime(1.5);
  EXPECT_NEAR(player->currentTime(), 1.5, 0.05);
  player->setCurrentTime(0.25);
  EXPECT_NEAR(player->currentTime(), 0.25, 0.05);
  ASSERT_TRUE(player->play());
  player->pause();
  EXPECT_FALSE(player->isPlaying());
  const double paused = player->currentTime();
  EXPECT_GE(paused, 0.25);
  EXPECT_NEAR(player->currentTime(), paused, 0.01);

  player->setVolume(0.4f);
  EXPECT_FLOAT_EQ(player->volume(), 0.4f);
  player->setVolume(3);
  EXPECT_FLOAT_EQ(player->volume(), 1);
  player->setEnableRate(true);
  player->setRate(1.5f);
  EXPECT_FLOAT_EQ(player->rate(), 1.5f);
  player->setRate(10);
  EXPECT_FLOAT_EQ(player->rate(), 2);
  EXPECT_TRUE(finished_.empty());
}

TEST_F(AudioPlayerTest, RepeatsAsOftenAsAsked) {
  std::shared_ptr<AudioPlayer> player = playerFor(0.2);
  ASSERT_TRUE(player);
  player->setNumberOfLoops(2);
  const MonotonicTime start = std::chrono::steady_clock::now();
  ASSERT_TRUE(player->play());
  ASSERT_TRUE(runMainLoopUntil([&] { return !finished_.empty(); }));
  // Three plays of 0.2 s at real pace, one finish.
  EXPECT_GE(toSeconds(std::chrono::steady_clock::now() - start), 0.55);
  EXPECT_EQ(finished_, std::vector<bool>{true});
}

TEST_F(AudioPlayerTest, PlaysFasterAtAHigherRate) {
  std::shared_ptr<AudioPlayer> player = playerFor(2);
  ASSERT_TRUE(player);
  ASSERT_TRUE(player->prepareToPlay());
  player->setEnableRate(true);
  player->setRate(2);
  const MonotonicTime start = std::chrono::steady_clock::now();
  ASSERT_TRUE(player->play());
  ASSERT_TRUE(runMainLoopUntil([&] { return !finished_.empty(); }));
  // Two seconds of sound at double pace take one; well under two even on a busy machine.
  EXPECT_LT(toSeconds(std::chrono::steady_clock::now() - start), 1.8);
}

TEST_F(AudioPlayerTest, MissingAndCorruptFilesGiveNoPlayer) {
  for (const std::string& path :
       {(dir_ / "missing.wav").string(), writeFile("noise.wav", std::string(300, 'x')),
        dir_.path().string()}) {
    Result<std::shared_ptr<AudioPlayer>> player = AudioPlayer::create(path);
    ASSERT_FALSE(player.ok()) << path;
    EXPECT_EQ(player.error().code(), kMediaCannotOpen) << path;
  }
}

}  // namespace
}  // namespace platform::media
