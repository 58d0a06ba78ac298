#include "Plugins/vokaru-plugin-media-capture/vkr_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "Plugins/vokaru-plugin-media-capture/vkr_audio_recorder_view_controller.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/media/media_devices.h"
#include "platform/storage/app_home.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/test_app.h"
#include "platform/testing/wav.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using vokaru::testing::RecordingCommandDelegate;

class VKRCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_->setCommandDelegate(delegate_);
    file_->pluginInitialize();
    delegate_->setPlugin("File", file_);
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }
  void TearDown() override {
    platform::media::setMediaDevices(platform::media::MediaDevices::System);
  }

  // Runs the action and answers the one result it sent.
  VKRPluginResult run(const std::string& action, Value::Array arguments) {
    delegate_->clear();
    EXPECT_TRUE(plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), "Capture1", "Capture", action)));
    EXPECT_TRUE(delegate_->waitForResults(1)) << action;
    std::vector<RecordingCommandDelegate::Sent> sent = delegate_->sent();
    return sent.empty() ? VKRPluginResult() : sent[0].result;
  }

  std::string write(const std::string& name, const std::string& bytes) {
    const fs::path path = platform::AppHome::temporary() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  platform::testing::TestApp app_;
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRFile> file_ = std::make_shared<VKRFile>(nullptr);
  std::shared_ptr<VKRCapture> plugin_ = std::make_shared<VKRCapture>(nullptr);
};

Value errorObject(int code) { return Value::dictionary({{"code", code}}); }

TEST_F(VKRCaptureTest, WithoutACameraPicturesAndVideoAreNotSupported) {
  if (platform::media::videoInputAvailable()) GTEST_SKIP() << "this machine has a camera";
  for (const char* action : {"captureImage", "captureVideo"}) {
    VKRPluginResult result = run(action, {nullptr});
    EXPECT_EQ(result.status(), kVKRCommandStatusError) << action;
    EXPECT_EQ(result.message(), errorObject(20)) << action;
  }
  delegate_->clear();
  plugin_->performAction("getMediaModes", VKRInvokedUrlCommand({}, "Capture1", "Capture", "x"));
  ASSERT_EQ(delegate_->scripts().size(), 1u);
  EXPECT_EQ(
      delegate_->scripts()[0],
      R"(navigator.device.capture.setSupportedModes({"image":null,"video":null,"audio":null});)");
}

TEST_F(VKRCaptureTest, TakesPicturesAndVideoFromTheCamera) {
  platform::media::setMediaDevices(platform::media::MediaDevices::Test);
  for (const char* name : {"photo_001.jpg", "photo_002.jpg", "photo_003.jpg"}) {
    VKRPluginResult result = run("captureImage", {nullptr});
    ASSERT_EQ(result.status(), kVKRCommandStatusOK) << name;
    const Dictionary& picture = *result.message().arrayIf()->at(0).dictionaryIf();
    EXPECT_EQ(*picture.find("name"), Value(name));
    EXPECT_EQ(*picture.find("type"), Value("image/jpeg"));
    EXPECT_GT(picture.find("size")->intOr(0), 0);
  }
  VKRPluginResult video = run("captureVideo", {Value::dictionary({{"duration", 0.5}})});
  ASSERT_EQ(video.status(), kVKRCommandStatusOK);
  const Dictionary& clip = *video.message().arrayIf()->at(0).dictionaryIf();
  EXPECT_EQ(*clip.find("name"), Value("video_001.webm"));
  EXPECT_EQ(*clip.find("type"), Value("video/webm"));

  delegate_->clear();
  plugin_->performAction("getMediaModes", VKRInvokedUrlCommand({}, "Capture1", "Capture", "x"));
  ASSERT_EQ(delegate_->scripts().size(), 1u);
  EXPECT_EQ(
      delegate_->scripts()[0],
      R"(navigator.device.capture.setSupportedModes({"image":[{"type":"image/jpeg","height":0,"width":0},{"type":"image/png","height":0,"width":0}],"video":[{"type":"video/quicktime","height":0,"width":0}],"audio":null});)");
}

TEST_F(VKRCaptureTest, AudioNeedsAnAudioSourceAndOneScreenAtATime) {
  if (!platform::media::audioInputAvailable()) {
    VKRPluginResult result = run("captureAudio", {nullptr});
    EXPECT_EQ(result.message(), errorObject(20));
  }
  platform::media::setMediaDevices(platform::media::MediaDevices::Test);
  plugin_->setInUse(true);
  VKRPluginResult busy = run("captureAudio", {Value::dictionary({{"duration", 0}})});
  EXPECT_EQ(busy.message(), errorObject(1));
  // With no host controller to show it on, the screen closes with "nothing recorded".
  plugin_->setInUse(false);
  VKRPluginResult closed = run("captureAudio", {nullptr});
  EXPECT_EQ(closed.status(), kVKRCommandStatusError);
  EXPECT_EQ(closed.message(), errorObject(3));
  EXPECT_FALSE(plugin_->inUse());
}

TEST_F(VKRCaptureTest, FormatDataOfMediaFiles) {
  const std::string wav = write("tone.wav", platform::testing::wavOf(1.5));
  const std::string png = write("dot.png", platform::testing::pngOf(7, 5, 0xFF0000FF));
  const std::string text = write("notes.txt", "some words");
  struct Case {
    Value::Array arguments;
    Dictionary expected;
  };
  auto format = [](Value bitrate, Value height, Value width, Value duration) {
    Dictionary d;
    d.set("codecs", nullptr);
    d.set("bitrate", bitrate);
    d.set("height", height);
    d.set("width", width);
    d.set("duration", duration);
    return d;
  };
  const Case cases[] = {
      {{wav, "audio/wav"}, format(8000 * 16, 0, 0, 1.5)},
      {{wav}, format(8000 * 16, 0, 0, 1.5)},
      {{png, nullptr}, format(0, 5, 7, 0)},
      {{text, "text/plain"}, format(0, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    VKRPluginResult result = run("getFormatData", c.arguments);
    EXPECT_EQ(result.status(), kVKRCommandStatusOK) << c.arguments[0].stringOr("");
    const Dictionary* got = result.message().dictionaryIf();
    ASSERT_TRUE(got);
    for (const auto& key : {"codecs", "bitrate", "height", "width"}) {
      EXPECT_EQ(*got->find(key), *c.expected.find(key))
          << key << " of " << c.arguments[0].stringOr("");
    }
    EXPECT_NEAR(got->find("duration")->doubleOr(-1), c.expected.find("duration")->doubleOr(0),
                0.01);
  }
  EXPECT_EQ(run("getFormatData", {write("thing.unknownext", "?")}).message(), errorObject(2));
  delegate_->setPlugin("File", nullptr);
  EXPECT_EQ(run("getFormatData", {wav}).message(), errorObject(0));
}

TEST_F(VKRCaptureTest, DescribesMediaFiles) {
  const std::string wav = write("memo.wav", platform::testing::wavOf(0.1));
  Dictionary described = plugin_->getMediaDictionaryFromPath(wav, std::nullopt);
  EXPECT_EQ(*described.find("name"), Value("memo.wav"));
  EXPECT_EQ(*described.find("fullPath"), Value(wav));
  EXPECT_EQ(*described.find("type"), Value("audio/wav"));
  EXPECT_EQ(described.find("size")->intOr(0), static_cast<int64_t>(fs::file_size(wav)));
  EXPECT_GT(described.find("lastModifiedDate")->doubleOr(0), 1.6e12);
  EXPECT_EQ(described.find("localURL")->stringOr(""), "vkrfile://localhost/temporary/memo.wav");

  fs::remove(wav);
  Dictionary gone = plugin_->getMediaDictionaryFromPath(wav, "audio/wav");
  EXPECT_EQ(*gone.find("size"), Value(0));
  EXPECT_EQ(*gone.find("lastModifiedDate"), Value(0.0));
}

TEST(VKRAudioRecorderViewControllerTest, FormatsTheElapsedTime) {
  const std::pair<int, const char*> cases[] = {{0, "0:00"},  {9, "0:09"},   {59, "0:59"},
                                               {60, "1:00"}, {125, "2:05"}, {3600, "60:00"}};
  for (const auto& [seconds, text] : cases) {
    EXPECT_EQ(VKRAudioRecorderViewController::formatTime(seconds), text) << seconds;
  }
}

TEST_F(VKRCaptureTest, RecorderScreensTakeTheNextFreeFileName) {
  platform::media::setMediaDevices(platform::media::MediaDevices::Test);
  const fs::path temporary = platform::AppHome::temporary();
  for (const char* name : {"audio_001.wav", "audio_002.wav"}) {
    auto screen = std::make_shared<VKRAudioRecorderViewController>(plugin_, std::nullopt, "c");
    screen->view();
    ASSERT_TRUE(screen->recorder());
    EXPECT_EQ(screen->recorder()->path(), (temporary / name).lexically_normal().string());
    EXPECT_TRUE(fs::exists(temporary / name));
  }
}

}  // namespace
