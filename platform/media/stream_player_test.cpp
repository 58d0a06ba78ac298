#include "platform/media/stream_player.h"

#include "platform/media/media_test_support.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"

namespace platform::media {
namespace {

using platform::testing::runMainLoopUntil;

class StreamPlayerTest : public testing::SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    const std::string sound = platform::testing::wavOf(0.4);
    server_.routes().Get("/tone.wav", [sound](const httplib::Request&, httplib::Response& res) {
      res.set_content(sound, "audio/wav");
    });
    server_.start();
  }

  platform::testing::HttpServer server_;
};

TEST_F(StreamPlayerTest, PlaysARemoteSoundToItsEnd) {
  std::shared_ptr<StreamPlayer> player = StreamPlayer::create(server_.url("/tone.wav"));
  bool ended = false;
  player->setEndHandler([&] { ended = true; });
  EXPECT_NEAR(player->duration(), 0.4, 0.01);
  EXPECT_EQ(player->rate(), 0);
  player->play();
  EXPECT_EQ(player->rate(), 1);
  ASSERT_TRUE(runMainLoopUntil([&] { return ended; }));
  EXPECT_EQ(player->rate(), 0);
  EXPECT_FALSE(player->error());

  bool seeked = false;
  player->seek(0.1, [&](bool finished) { seeked = finished; });
  ASSERT_TRUE(runMainLoopUntil([&] { return seeked; }));
}

TEST_F(StreamPlayerTest, AMissingStreamFails) {
  std::shared_ptr<StreamPlayer> player = StreamPlayer::create(server_.url("/missing.wav"));
  EXPECT_EQ(player->duration(), 0);
  player->play();
  ASSERT_TRUE(runMainLoopUntil([&] { return player->error().has_value(); }));
}

}  // namespace
}  // namespace platform::media
