#include <gtest/gtest.h>

#include "platform/testing/temp_dir.h"
#include "toolbox/fetcher/fetcher_test_support.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {

using fetcher_test::begin;
using fetcher_test::waitFor;
using platform::Bytes;
using platform::bytesOf;

platform::net::URLResponse okResponse(const std::string& url) {
  platform::net::URLResponse response;
  response.url = platform::URL::parse(url).value();
  response.isHTTP = true;
  response.statusCode = 200;
  return response;
}

// Nothing listens at this address: a fetch that reaches the network fails.
const char* const kNowhere = "https://127.0.0.1:1/simulated";

class PlaybackTest : public ::testing::Test {
 protected:
  void TearDown() override { ZSDK_ZTMSessionFetcher::setGlobalTestBlock(nullptr); }
};

TEST_F(PlaybackTest, GlobalBlockPlaysTheFetchThroughEveryCallerBlock) {
  ZSDK_ZTMSessionFetcher::setGlobalTestBlock(
      [](ZSDK_ZTMSessionFetcher& fetcher, ZSDK_ZTMSessionFetcher::TestResponse respond) {
        respond(okResponse(fetcher.request()->urlString()), bytesOf("0123456789"), std::nullopt);
      });
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(kNowhere);
  fetcher->setBodyData(bytesOf("abcdefghij"));
  std::vector<std::string> events;
  const auto report = [&](const char* name, int64_t a, int64_t b, int64_t c = -9) {
    events.push_back(std::string(name) + " " + std::to_string(a) + "," + std::to_string(b) +
                     (c == -9 ? "" : "," + std::to_string(c)));
  };
  fetcher->setWillRedirectBlock(
      [&](const auto&, const auto&, auto) { events.push_back("redirect"); });
  fetcher->setDidReceiveResponseBlock([&](const auto& response, auto) {
    events.push_back("response " + std::to_string(response.statusCode));
  });
  fetcher->setSendProgressBlock([&](int64_t a, int64_t b, int64_t c) { report("sent", a, b, c); });
  fetcher->setReceivedProgressBlock([&](int64_t a, int64_t b) { report("received", a, b); });
  fetcher->setWillCacheURLResponseBlock([&](const auto& cached, auto) {
    events.push_back("cache " + platform::stringOf(cached.data));
  });
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  EXPECT_EQ(outcome->text(), "0123456789");
  EXPECT_EQ(fetcher->statusCode(), 200);
  EXPECT_EQ(events, (std::vector<std::string>{
                        "redirect", "response 200", "sent 4,4,10", "sent 4,8,10", "sent 2,10,10",
                        "received 4,4", "received 4,8", "received 2,10", "cache 0123456789"}));
}

TEST_F(PlaybackTest, AnswerOfNothingSendsTheRealRequest) {
  fetcher_test::Server server;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(server.url("/echo"));
  fetcher->setAllowLocalhostRequest(true);
  int asked = 0;
  fetcher->setTestBlock([&](ZSDK_ZTMSessionFetcher&, ZSDK_ZTMSessionFetcher::TestResponse respond) {
    ++asked;
    respond(std::nullopt, std::nullopt, std::nullopt);
  });
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(outcome->text(), "GET ") << (outcome->error ? outcome->error->description() : "");
  EXPECT_EQ(server.hits("/echo"), 1);
}

TEST_F(PlaybackTest, ErrorsAndBodiesFromFilesStreamsAndDownloads) {
  platform::testing::TempDir folder;
  platform::testing::writeFile(folder / "body.txt", "file body");
  const platform::Error refused("com.example.test", 42);
  {
    // A body read from a file does not hide the answer's error.
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(kNowhere);
    fetcher->setBodyFileURL(platform::URL::fileURL((folder / "body.txt").string()).value());
    int64_t sent = 0;
    fetcher->setSendProgressBlock([&](int64_t, int64_t total, int64_t) { sent = total; });
    fetcher->setTestBlock([&](auto&, ZSDK_ZTMSessionFetcher::TestResponse respond) {
      respond(std::nullopt, std::nullopt, refused);
    });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->error, refused);
    EXPECT_EQ(sent, 9);
  }
  {
    // A streamed body is read in pieces and reported.
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(kNowhere);
    const Bytes big(1500, 'z');
    fetcher->setBodyStreamProvider(
        [&](auto completion) { completion(platform::net::makeDataInputStream(big)); });
    int64_t sent = 0;
    fetcher->setSendProgressBlock([&](int64_t, int64_t total, int64_t) { sent = total; });
    fetcher->setTestBlock(
        [](ZSDK_ZTMSessionFetcher& f, ZSDK_ZTMSessionFetcher::TestResponse respond) {
          respond(okResponse(f.request()->urlString()), bytesOf("ok"), std::nullopt);
        });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "ok");
    EXPECT_EQ(sent, 1500);
  }
  {
    // A download is written to its file.
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(kNowhere);
    fetcher->setDestinationFileURL(platform::URL::fileURL((folder / "out.bin").string()).value());
    std::vector<int64_t> written;
    fetcher->setDownloadProgressBlock(
        [&](int64_t, int64_t total, int64_t) { written.push_back(total); });
    fetcher->setTestBlock(
        [](ZSDK_ZTMSessionFetcher& f, ZSDK_ZTMSessionFetcher::TestResponse respond) {
          respond(okResponse(f.request()->urlString()), bytesOf("downloaded"), std::nullopt);
        });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(platform::testing::readFile(folder / "out.bin"), "downloaded");
    EXPECT_EQ(written, (std::vector<int64_t>{4, 8, 10}));
  }
}

}  // namespace
