// The media and capture plugins end to end: a real page in a WebKit web view plays a sound through
// its media module and records one on the recorder screen.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Plugins/vokaru-plugin-media-capture/vkr_audio_recorder_view_controller.h"
#include "VokaruLib/testing/page_host_test.h"
#include "platform/media/media_devices.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/wav.h"

namespace {

using platform::testing::runMainLoopUntil;
using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="File">
    <param name="ios-package" value="VKRFile" />
    <param name="onload" value="true" />
  </feature>
  <feature name="Media"><param name="ios-package" value="VKRSound" /></feature>
  <feature name="Capture"><param name="ios-package" value="VKRCapture" /></feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="media.js"></script><script src="capture.js"></script>
<script>
  var Media = vokaru.require('vokaru-plugin-media.Media');
  var capture = vokaru.require('vokaru-plugin-media-capture.Capture');
  var events = [];
</script></head><body></body></html>)";

std::string readSource(const std::string& relative) {
  std::ifstream file(std::string(VOKARU_SOURCE_DIR) + "/" + relative);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class MediaPageTest : public SharedPageHostTest<MediaPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    platform::media::setMediaDevices(platform::media::MediaDevices::Test);
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/media.js", readSource("Plugins/vokaru-plugin-media/www/media.js")},
            {"www/capture.js", readSource("Plugins/vokaru-plugin-media-capture/www/capture.js")},
            {"www/sounds/beep.wav", platform::testing::wavOf(0.3)}};
  }

 protected:
  void SetUp() override { resetPage("events = []"); }
};

TEST_F(MediaPageTest, APagePlaysASoundWithItsCallbacks) {
  host_->eval(R"(
    var beep = new Media('sounds/beep.wav', function () { events.push('ended'); },
                         function (e) { events.push('error ' + e.code); },
                         function (state) { events.push('state ' + state); });
    beep.play(); 'started')");
  ASSERT_TRUE(host_->waitFor("events.indexOf('ended') >= 0"));
  EXPECT_EQ(host_->eval("JSON.stringify(events)"), R"(["state 2","ended","state 4"])");
  EXPECT_EQ(host_->eval("String(beep.getDuration())"), "0.3");

  host_->eval(R"(
    var missing = new Media('sounds/missing.wav', null, function (e) { events.push(e.message); });
    missing.play(); 'started')");
  ASSERT_TRUE(host_->waitFor("events.length === 4"));
  EXPECT_EQ(host_->eval("events[3]"), "Cannot use audio file from resource 'sounds/missing.wav'");
}

TEST_F(MediaPageTest, TheRecorderScreenRecordsAndAnswersItsFile) {
  host_->eval(R"(
    capture.captureAudio({}).then(function (files) { events.push(files); },
                                  function (e) { events.push('error ' + e.code); }); 'asked')");
  std::shared_ptr<VKRAudioNavigationController> navigation;
  ASSERT_TRUE(runMainLoopUntil([&] {
    navigation = std::dynamic_pointer_cast<VKRAudioNavigationController>(
        host_->controller()->presentedViewController());
    return navigation != nullptr;
  }));
  std::shared_ptr<VKRAudioRecorderViewController> screen = navigation->topViewController();
  ASSERT_TRUE(screen->recorder());
  EXPECT_EQ(screen->timerLabel()->text(), "0:00");

  screen->recordButton()->sendAction();
  ASSERT_TRUE(runMainLoopUntil([&] { return screen->recorder()->currentTime() > 0.6; }));
  EXPECT_FALSE(screen->doneButton()->isEnabled());
  EXPECT_FALSE(screen->recordingView()->isHidden());
  ASSERT_TRUE(runMainLoopUntil([&] { return screen->timerLabel()->text() == "0:00"; }));
  screen->recordButton()->sendAction();
  ASSERT_TRUE(runMainLoopUntil([&] { return screen->doneButton()->isEnabled(); }));
  EXPECT_TRUE(screen->recordingView()->isHidden());
  EXPECT_EQ(host_->eval("String(events.length)"), "0");  // the answer waits for Done

  screen->doneButton()->sendAction();
  ASSERT_TRUE(host_->waitFor("events.length === 1"));
  EXPECT_EQ(host_->eval("events[0][0].name + ' ' + events[0][0].type"), "audio_001.wav audio/wav");
  EXPECT_EQ(host_->eval("events[0][0].localURL"), "vkrfile://localhost/temporary/audio_001.wav");
  const std::string path = host_->eval("events[0][0].fullPath");
  std::optional<platform::testing::WavFormat> format = platform::testing::readWavFormat(path);
  ASSERT_TRUE(format) << path;
  EXPECT_GT(format->seconds(), 0.5);
  EXPECT_EQ(host_->controller()->presentedViewController(), nullptr);

  // Closed without recording: "no media files".
  host_->eval("capture.captureAudio({duration: 5}).catch(function (e) { events.push(e.code); })");
  ASSERT_TRUE(runMainLoopUntil([&] {
    navigation = std::dynamic_pointer_cast<VKRAudioNavigationController>(
        host_->controller()->presentedViewController());
    return navigation != nullptr;
  }));
  EXPECT_TRUE(navigation->topViewController()->isTimed());
  navigation->topViewController()->doneButton()->sendAction();
  ASSERT_TRUE(host_->waitFor("events.length === 2"));
  EXPECT_EQ(host_->eval("String(events[1])"), "3");
}

}  // namespace
