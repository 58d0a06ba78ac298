#include "platform/media/media_asset.h"

#include "platform/foundation/url.h"
#include "platform/media/media_error.h"
#include "platform/media/media_test_support.h"

namespace platform::media {
namespace {

class MediaAssetTest : public testing::SoundTest {
 protected:
  Result<MediaFormat> discover(const std::string& path) {
    return discoverMediaFormat(URL::fileURL(path).value().absoluteString());
  }
};

TEST_F(MediaAssetTest, ReportsTheFormatOfAWavFile) {
  Result<MediaFormat> format = discover(writeWav("tone.wav", 0.75));
  ASSERT_TRUE(format.ok()) << format.error().description();
  EXPECT_NEAR(format->duration, 0.75, 0.01);
  EXPECT_TRUE(format->hasAudio);
  EXPECT_EQ(format->sampleRate, 8000);
  EXPECT_EQ(format->channels, 1);
  EXPECT_EQ(format->audioBitrate, 8000 * 16);
  EXPECT_FALSE(format->videoSize);
}

TEST_F(MediaAssetTest, MissingAndCorruptFilesCannotBeOpened) {
  std::string riffOnly = platform::testing::wavOf(0.5).substr(0, 20);
  for (const std::string& path :
       {(dir_ / "missing.wav").string(), writeFile("text.wav", "not a sound at all"),
        writeFile("cut.wav", riffOnly)}) {
    Result<MediaFormat> format = discover(path);
    ASSERT_FALSE(format.ok()) << path;
    EXPECT_EQ(format.error().domain(), kMediaErrorDomain);
    EXPECT_EQ(format.error().code(), kMediaCannotOpen) << path;
  }
}

}  // namespace
}  // namespace platform::media
