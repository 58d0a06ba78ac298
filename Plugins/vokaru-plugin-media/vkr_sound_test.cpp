#include "Plugins/vokaru-plugin-media/vkr_sound.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/media/audio_session.h"
#include "platform/media/media_devices.h"
#include "platform/storage/app_home.h"
#include "platform/testing/http_server.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/testing/wav.h"

namespace {

namespace fs = std::filesystem;
using platform::Value;
using platform::media::AudioSession;
using platform::testing::readWavFormat;
using platform::testing::runMainLoopUntil;
using platform::testing::wavOf;
using vokaru::testing::RecordingCommandDelegate;

// The page's status function, as every call starts.
std::string call(const std::string& args) {
  return std::string(VKRSound::kStatusFunction) + "(" + args + ");";
}

class VKRSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::media::setMediaDevices(platform::media::MediaDevices::Test);
    app_.writeBundleFile("www/sounds/beep.wav", wavOf(0.3));
    app_.writeBundleFile("www/sounds/long.wav", wavOf(2));
    app_.writeBundleFile("www/sounds/broken.wav", "RIFF but nothing more");
    delegate_->setWebFolder(app_.bundlePath() / "www");
    plugin_->setCommandDelegate(delegate_);
  }
  void TearDown() override {
    plugin_.reset();
    AudioSession::sharedInstance().setRecordPermission(true);
    platform::media::setMediaDevices(platform::media::MediaDevices::System);
  }

  void run(const std::string& action, Value::Array arguments) {
    EXPECT_TRUE(plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), "Media1", "Media", action)));
  }

  // Waits until the plugin has evaluated the script (scripts are compared whole).
  bool waitForScript(const std::string& script) {
    return runMainLoopUntil([&] {
      for (const std::string& sent : delegate_->scripts()) {
        if (sent == script) return true;
      }
      return false;
    });
  }

  std::vector<std::string> scriptsNow() {
    platform::testing::drainMainLoop();
    return delegate_->scripts();
  }

  platform::testing::TestApp app_;
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRSound> plugin_ = std::make_shared<VKRSound>(nullptr);
};

TEST_F(VKRSoundTest, PlaysAWebFolderSoundLocallyWithItsStatusCalls) {
  run("create", {"m1", "sounds/beep.wav"});
  ASSERT_TRUE(delegate_->waitForResults(1));
  EXPECT_EQ(delegate_->sent()[0].result.status(), kVKRCommandStatusOK);

  run("startPlayingAudio", {"m1", "sounds/beep.wav"});
  EXPECT_TRUE(waitForScript(call("\"m1\",2,0.300") + "\n" + call("\"m1\",1,2")));
  ASSERT_TRUE(waitForScript(call("\"m1\",1,4")));

  // A known object keeps the file it resolved first, whatever source a later play names.
  delegate_->clear();
  run("startPlayingAudio", {"m1", "sounds/missing.wav"});
  EXPECT_TRUE(waitForScript(call("\"m1\",2,0.300") + "\n" + call("\"m1\",1,2")));
  EXPECT_TRUE(waitForScript(call("\"m1\",1,4")));
}

TEST_F(VKRSoundTest, SeeksPausesAndReportsThePosition) {
  run("startPlayingAudio", {"m1", "sounds/long.wav"});
  ASSERT_TRUE(waitForScript(call("\"m1\",2,2.000") + "\n" + call("\"m1\",1,2")));
  run("seekToAudio", {"m1", 500});
  EXPECT_TRUE(waitForScript(call("\"m1\",3,0.500000")));
  run("pausePlayingAudio", {"m1"});
  EXPECT_TRUE(waitForScript(call("\"m1\",1,3")));
  run("getCurrentPositionAudio", {"m1"});
  ASSERT_TRUE(delegate_->waitForResults(1));
  EXPECT_EQ(delegate_->sent()[0].result.message(), Value(-1.0));
  EXPECT_TRUE(waitForScript(call("\"m1\",3,-1.000")));
  run("seekToAudio", {"m1", 5000});
  EXPECT_TRUE(waitForScript(call("\"m1\",3,0.000") + "\n" + call("\"m1\",1,4")));
  run("setVolume", {"m1", 0.25});
  run("setRate", {"m1", 1.5});
  run("stopPlayingAudio", {"m1"});
  EXPECT_TRUE(waitForScript(call("\"m1\",1,4")));
}

TEST_F(VKRSoundTest, PlaysARemoteSoundFromTheNetwork) {
  platform::testing::HttpServer server;
  const std::string sound = wavOf(0.4);
  server.routes().Get("/tone.wav", [sound](const httplib::Request&, httplib::Response& res) {
    res.set_content(sound, "audio/wav");
  });
  server.start();
  run("create", {"r1", server.url("/tone.wav")});
  run("startPlayingAudio", {"r1", server.url("/tone.wav")});
  EXPECT_TRUE(waitForScript(call("\"r1\",2,0.400") + "\n" + call("\"r1\",1,2")));
  EXPECT_TRUE(waitForScript(call("\"r1\",1,4")));
}

TEST_F(VKRSoundTest, SourcesThatCannotPlayGiveTheErrorCalls) {
  platform::testing::LogCapture log;
  run("create", {"e1", ""});
  EXPECT_TRUE(waitForScript(call(R"("e1",9,{"code":1,"message":"invalid media src argument"})")));
  EXPECT_TRUE(waitForScript(
      call(R"("e1",9,{"code":1,"message":"Failed to initialize Media file with path "})")));
  run("startPlayingAudio", {"e2", "sounds/missing.wav"});
  EXPECT_TRUE(waitForScript(call(
      R"("e2",9,{"code":1,"message":"Cannot use audio file from resource 'sounds/missing.wav'"})")));
  EXPECT_TRUE(log.contains("Unknown resource 'sounds/missing.wav'"));
  run("startPlayingAudio", {"e3", "sounds/broken.wav"});
  EXPECT_TRUE(waitForScript(call(R"("e3",9,{"code":4,"message":""})")));
  EXPECT_EQ(delegate_->sent().size(), 0u);
}

TEST_F(VKRSoundTest, MediaIdsReachThePageAsData) {
  const std::string id = "a\"b');alert(1);//\n";
  run("startPlayingAudio", {id, "sounds/missing.wav"});
  EXPECT_TRUE(waitForScript(call(
      R"("a\"b');alert(1);//\n",9,{"code":1,"message":"Cannot use audio file from resource 'sounds/missing.wav'"})")));
}

TEST_F(VKRSoundTest, RecordsIntoTheTemporaryFolderAndTheDocuments) {
  for (const auto& [target, path] :
       {std::pair<std::string, fs::path>{"memo.wav", platform::AppHome::temporary() / "memo.wav"},
        {"documents://memo.wav", platform::AppHome::documents() / "memo.wav"}}) {
    delegate_->clear();
    run("startRecordingAudio", {"rec", target});
    ASSERT_TRUE(waitForScript(call("\"rec\",1,2"))) << target;
    ASSERT_TRUE(runMainLoopUntil([&, file = path] { return fs::exists(file); }));
    run("stopRecordingAudio", {"rec"});
    ASSERT_TRUE(waitForScript(call("\"rec\",1,4"))) << target;
    EXPECT_TRUE(readWavFormat(path)) << target;
    run("release", {"rec"});
  }
}

TEST_F(VKRSoundTest, RecordingNeedsAWavTargetAndTheMicrophone) {
  platform::testing::LogCapture log;
  run("startRecordingAudio", {"r1", "memo.mp3"});
  EXPECT_TRUE(waitForScript(
      call(R"("r1",9,{"code":1,"message":"Cannot use audio file from resource 'memo.mp3'"})")));
  EXPECT_TRUE(
      waitForScript(call(R"("r1",9,{"code":1,"message":"Could not record audio at 'memo.mp3'"})")));
  EXPECT_TRUE(log.contains("Resource for recording must have wav extension"));

  AudioSession::sharedInstance().setRecordPermission(false);
  run("startRecordingAudio", {"r2", "memo.wav"});
  EXPECT_TRUE(waitForScript(call(
      R"("r2",9,{"code":1,"message":"Error creating audio session, microphone permission denied."})")));
}

TEST_F(VKRSoundTest, ReleasedMediaIsForgotten) {
  run("create", {"m1", "sounds/beep.wav"});
  run("release", {"m1"});
  run("pausePlayingAudio", {"m1"});
  run("stopPlayingAudio", {"m1"});
  EXPECT_TRUE(scriptsNow().empty());
}

}  // namespace
