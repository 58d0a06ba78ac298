#include "platform/media/audio_recorder.h"

#include "platform/media/media_error.h"
#include "platform/media/media_test_support.h"
#include "platform/testing/main_loop.h"

namespace platform::media {
namespace {

using platform::testing::readWavFormat;
using platform::testing::runMainLoopUntil;

class AudioRecorderTest : public testing::SoundTest {
 protected:
  std::shared_ptr<AudioRecorder> recorderFor(const std::string& name) {
    Result<std::shared_ptr<AudioRecorder>> recorder = AudioRecorder::create((dir_ / name).string());
    EXPECT_TRUE(recorder.ok()) << recorder.error().description();
    if (!recorder.ok()) return nullptr;
    (*recorder)->setFinishedHandler(
        [this](bool successfully) { finished_.push_back(successfully); });
    return *recorder;
  }

  std::vector<bool> finished_;
};

TEST_F(AudioRecorderTest, RecordsAWavFileOfAboutTheAskedLength) {
  std::shared_ptr<AudioRecorder> recorder = recorderFor("memo.wav");
  ASSERT_TRUE(recorder);
  ASSERT_TRUE(recorder->prepareToRecord());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "memo.wav"));
  ASSERT_TRUE(recorder->recordForDuration(seconds(0.6)));
  EXPECT_TRUE(recorder->isRecording());
  ASSERT_TRUE(runMainLoopUntil([&] { return !finished_.empty(); }));
  EXPECT_EQ(finished_, std::vector<bool>{true});
  EXPECT_FALSE(recorder->isRecording());
  std::optional<platform::testing::WavFormat> format = readWavFormat(dir_ / "memo.wav");
  ASSERT_TRUE(format);
  EXPECT_EQ(format->sampleRate, AudioRecorder::kSampleRate);
  EXPECT_EQ(format->channels, 1);
  EXPECT_EQ(format->bitsPerSample, 16);
  EXPECT_NEAR(format->seconds(), 0.6, 0.25);
}

TEST_F(AudioRecorderTest, StopEndsARecordingThatCanStartAgain) {
  std::shared_ptr<AudioRecorder> recorder = recorderFor("again.wav");
  ASSERT_TRUE(recorder);
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(recorder->record());
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder->currentTime() > 0.1; }));
    recorder->stop();
    ASSERT_TRUE(runMainLoopUntil([&] { return finished_.size() == static_cast<size_t>(round); }));
    ASSERT_TRUE(readWavFormat(dir_ / "again.wav")) << round;
  }
  EXPECT_EQ(finished_, (std::vector<bool>{true, true}));
}

TEST_F(AudioRecorderTest, NeedsAnExistingFolderAndAnAudioSource) {
  Result<std::shared_ptr<AudioRecorder>> inMissingFolder =
      AudioRecorder::create((dir_ / "no/such/folder/memo.wav").string());
  ASSERT_FALSE(inMissingFolder.ok());
  EXPECT_EQ(inMissingFolder.error().code(), kMediaCannotOpen);

  setMediaDevices(MediaDevices::System);
  if (audioInputAvailable()) GTEST_SKIP() << "this machine has an audio source";
  Result<std::shared_ptr<AudioRecorder>> withoutSource =
      AudioRecorder::create((dir_ / "memo.wav").string());
  ASSERT_FALSE(withoutSource.ok());
  EXPECT_EQ(withoutSource.error().code(), kMediaNotAvailable);
}

}  // namespace
}  // namespace platform::media
