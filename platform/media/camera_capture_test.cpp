#include "platform/media/camera_capture.h"

#include <future>

#include "platform/foundation/url.h"
#include "platform/media/media_asset.h"
#include "platform/media/media_error.h"
#include "platform/media/media_test_support.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/image_file.h"

namespace platform::media {
namespace {

using platform::testing::runMainLoopUntil;

class CameraCaptureTest : public testing::SoundTest {
 protected:
  // Runs the capture on a worker while the main loop delivers the pipeline's events.
  Status run(std::function<Status()> capture) {
    std::future<Status> result = std::async(std::launch::async, std::move(capture));
    EXPECT_TRUE(runMainLoopUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        seconds(30)));
    return result.get();
  }
};

TEST_F(CameraCaptureTest, TakesAPictureAndRecordsVideo) {
  const std::string picture = (dir_ / "photo.jpg").string();
  Status taken = run([&] { return captureStillImage(picture, 0.5); });
  ASSERT_TRUE(taken.ok()) << taken.error().description();
  Result<ui::Image> image = ui::readImageFile(picture);
  ASSERT_TRUE(image.ok());
  EXPECT_GT(image->width, 0);

  const std::string video = (dir_ / "clip.webm").string();
  Status recorded = run([&] { return captureVideo(video, seconds(0.5)); });
  ASSERT_TRUE(recorded.ok()) << recorded.error().description();
  Result<MediaFormat> format = discoverMediaFormat(URL::fileURL(video).value().absoluteString());
  ASSERT_TRUE(format.ok()) << format.error().description();
  ASSERT_TRUE(format->videoSize);
  EXPECT_GT(format->videoSize->width, 0);
}

TEST_F(CameraCaptureTest, WithoutACameraNothingIsCaptured) {
  setMediaDevices(MediaDevices::System);
  if (videoInputAvailable()) GTEST_SKIP() << "this machine has a camera";
  Status taken = captureStillImage((dir_ / "photo.jpg").string(), 0.5);
  ASSERT_FALSE(taken.ok());
  EXPECT_EQ(taken.error().code(), kMediaNotAvailable);
}

}  // namespace
}  // namespace platform::media
