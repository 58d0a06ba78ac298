#include "toolbox/upload/session_upload_fetcher.h"

#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"
#include "toolbox/fetcher/session_fetcher_service.h"
#include "toolbox/upload/testing/upload_server.h"

namespace {

using platform::Bytes;
using platform::testing::runMainLoopUntil;
using Upload = ZSDK_ZTMSessionUploadFetcher;
using Lines = std::vector<std::string>;

struct Outcome {
  int calls = 0;
  std::optional<Bytes> data;
  std::optional<platform::Error> error;
  std::string text() const { return data ? platform::stringOf(*data) : "<nil>"; }
};

Bytes bodyOf(size_t size) {
  Bytes body(size);
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xff);
  return body;
}

class UploadTest : public ::testing::Test {
 protected:
  Upload::Ptr makeUpload(int64_t chunkSize, const std::string& url = "") {
    platform::net::URLRequest request(
        platform::URL::parse(url.empty() ? server_.startURL() : url).value());
    Upload::Ptr upload = Upload::uploadFetcherWithRequest(request, "application/x-test", chunkSize);
    upload->setAllowLocalhostRequest(true);
    return upload;
  }

  std::shared_ptr<Outcome> begin(const Upload::Ptr& upload) {
    auto outcome = std::make_shared<Outcome>();
    upload->beginFetchWithCompletionHandler(
        [outcome](const std::optional<Bytes>& data, const std::optional<platform::Error>& error) {
          ++outcome->calls;
          outcome->data = data;
          outcome->error = error;
        });
    return outcome;
  }

  // Runs until the handler ran, then on until nothing more is queued, so a second call shows.
  void finish(const std::shared_ptr<Outcome>& outcome) {
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome->calls > 0; }))
        << ::testing::PrintToString(server_.log());
    platform::testing::drainMainLoop();
    EXPECT_EQ(outcome->calls, 1);
  }

  // The server's log from the entry given on.
  Lines logSince(size_t from) const {
    const Lines all = server_.log();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
  }

  std::string received(int id = 1) const {
    auto upload = server_.upload(id);
    return upload ? upload->received : "<none>";
  }

  platform::URL writeFile(const std::string& name, const Bytes& body) {
    const auto path = folder_ / name;
    EXPECT_TRUE(platform::FileManager::writeAtomically(path, body).ok());
    return platform::URL::fileURL(path.string()).value();
  }

  platform::testing::TestApp app_;
  platform::testing::TempDir folder_;
  upload_testing::UploadServer server_;
};

TEST_F(UploadTest, EveryBodySourceGoesInChunks) {
  const Bytes body = bodyOf(25000);
  const Lines chunks = {"start", "upload 0+10000", "upload 10000+10000",
                        "upload, finalize 20000+5000"};
  const platform::URL file = writeFile("body.bin", body);
  std::shared_ptr<std::FILE> handle(std::fopen(file.filePath()->c_str(), "rb"), &std::fclose);
  const std::vector<std::pair<std::string, std::function<void(Upload&)>>> sources = {
      {"data", [&](Upload& upload) { upload.setUploadData(body); }},
      {"file", [&](Upload& upload) { upload.setUploadFileURL(file); }},
      {"handle", [&](Upload& upload) { upload.setUploadFileHandle(handle); }},
      {"provider",
       [&](Upload& upload) {
         upload.setUploadDataLength(25000, [&](int64_t offset, int64_t length, auto response) {
           response(Bytes(body.begin() + offset, body.begin() + offset + length), std::nullopt);
         });
       }},
  };
  int id = 0;
  for (const auto& [name, setSource] : sources) {
    SCOPED_TRACE(name);
    const size_t logged = server_.log().size();
    Upload::Ptr upload = makeUpload(10000);
    setSource(*upload);
    EXPECT_EQ(upload->fullUploadLength(), 25000);
    EXPECT_EQ(upload->request()->valueForHTTPHeaderField("X-Zorova-Upload-Content-Length"),
              "25000");
    EXPECT_EQ(upload->request()->httpMethod, "POST");
    auto outcome = begin(upload);
    finish(outcome);
    EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(outcome->text(), "stored 25000 bytes");
    EXPECT_EQ(upload->statusCode(), 200);
    EXPECT_EQ(upload->uploadLocationURL(), std::nullopt);
    EXPECT_EQ(logSince(logged), chunks);
    ++id;
    EXPECT_EQ(server_.upload(id)->mimeType, "application/x-test");
    EXPECT_EQ(received(id), platform::stringOf(body));
  }
  // No temporary chunk file stays behind.
  EXPECT_TRUE(platform::FileManager::contentsOfDirectory(platform::AppHome::temporary())
                  .valueOr(std::vector<std::string>{})
                  .empty());
}

TEST_F(UploadTest, ChunkBoundaries) {
  struct Case {
    const char* name;
    size_t size;
    int64_t chunkSize;
    int64_t granularity;
    bool fromFile;
    Lines chunks;
  };
  for (const Case& c : {
           Case{"tail rides along",
                21000,
                10000,
                0,
                false,
                {"upload 0+10000", "upload, finalize 10000+11000"}},
           Case{"granularity",
                20000,
                10000,
                4096,
                false,
                {"upload 0+8192", "upload 8192+8192", "upload, finalize 16384+3616"}},
           Case{"empty body", 0, 10000, 0, false, {"finalize 0+0"}},
           Case{"whole file at once", 30000, 0, 0, true, {"upload, finalize 0+30000"}},
       }) {
    SCOPED_TRACE(c.name);
    server_.setGranularity(c.granularity);
    const size_t logged = server_.log().size();
    const Bytes body = bodyOf(c.size);
    Upload::Ptr upload = makeUpload(c.chunkSize);
    if (c.fromFile) {
      upload->setUploadFileURL(writeFile("whole.bin", body));
    } else {
      upload->setUploadData(body);
    }
    auto outcome = begin(upload);
    finish(outcome);
    EXPECT_EQ(outcome->error, std::nullopt);
    const Lines chunks = logSince(logged + 1);
    EXPECT_EQ(chunks, c.chunks);
    EXPECT_EQ(received(server_.uploadCount()), platform::stringOf(body));
  }
}

TEST_F(UploadTest, PauseAndResumeAskTheServerWhereToGoOn) {
  const Bytes body = bodyOf(25000);
  Upload::Ptr upload = makeUpload(10000);
  upload->setUploadData(body);
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      kZTMSessionFetcherUploadLocationObtainedNotification, upload.get(),
      [&](const platform::Notification&) { upload->pauseFetching(); });
  auto outcome = begin(upload);
  ASSERT_TRUE(runMainLoopUntil([&] { return upload->isPaused(); }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.log(), Lines{"start"});
  EXPECT_TRUE(upload->uploadLocationURL().has_value());
  EXPECT_TRUE(upload->waitForCompletionWithTimeout(0));
  upload->resumeFetching();
  finish(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  EXPECT_EQ(server_.log(), (Lines{"start", "query", "upload 0+10000", "upload 10000+10000",
                                  "upload, finalize 20000+5000"}));
  EXPECT_EQ(received(), platform::stringOf(body));
}

// The second chunk the server sees fails with the status.
void failSecondChunk(upload_testing::UploadServer& server, int status) {
  server.setChunkObserver([&server, status](int, const std::string&) {
    if (server.log().size() == 2) server.failNextChunk(status);
  });
}

TEST_F(UploadTest, KnownLocationResumesFromTheServersCount) {
  const Bytes body = bodyOf(25000);
  failSecondChunk(server_, 500);
  Upload::Ptr first = makeUpload(10000);
  first->setUploadData(body);
  auto firstOutcome = begin(first);
  finish(firstOutcome);
  ASSERT_TRUE(firstOutcome->error);
  EXPECT_EQ(firstOutcome->error->code(), 500);
  // A 5xx without retries ends the upload and keeps the location for a later resumption.
  ASSERT_TRUE(first->uploadLocationURL().has_value());

  Upload::Ptr resumed =
      Upload::uploadFetcherWithLocation(first->uploadLocationURL(), "application/x-test", 10000);
  resumed->setAllowLocalhostRequest(true);
  resumed->setUploadData(body);
  auto outcome = begin(resumed);
  finish(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  EXPECT_EQ(server_.log(), (Lines{"start", "upload 0+10000", "failed upload 10000+10000", "query",
                                  "upload 10000+10000", "upload, finalize 20000+5000"}));
  EXPECT_EQ(received(), platform::stringOf(body));
}

TEST_F(UploadTest, LostChunkAndRetriedFailureGoOnFromTheServersCount) {
  const Bytes body = bodyOf(35000);
  Upload::Ptr upload = makeUpload(10000);
  upload->setUploadData(body);
  upload->setRetryEnabled(true);
  std::vector<bool> suggestions;
  upload->setRetryBlock([&](bool suggested, const auto&, auto response) {
    suggestions.push_back(suggested);
    response(suggested);
  });
  server_.loseNextChunk();
  bool failedOnce = false;
  server_.setChunkObserver([&](int, const std::string& command) {
    // The third chunk the server sees fails with a 503.
    if (command == "upload" && !failedOnce && server_.log().size() == 4) {
      failedOnce = true;
      server_.failNextChunk(503);
    }
  });
  auto outcome = begin(upload);
  finish(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  // Asked about the refused chunk (no retry suggested) and the 503 (retry, as a query).
  EXPECT_EQ(suggestions, (std::vector<bool>{false, true}));
  EXPECT_EQ(server_.log(),
            (Lines{"start", "upload 0+10000", "refused upload 10000+10000", "query",
                   "failed upload 0+10000", "query", "upload 0+10000", "upload 10000+10000",
                   "upload 20000+10000", "upload, finalize 30000+5000"}));
  EXPECT_EQ(received(), platform::stringOf(body));
}

TEST_F(UploadTest, StopCancelsTheUploadAtTheServer) {
  Upload::Ptr upload = makeUpload(10000);
  upload->setUploadData(bodyOf(25000));
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      kZTMSessionFetcherUploadLocationObtainedNotification, upload.get(),
      [&](const platform::Notification&) { upload->pauseFetching(); });
  auto outcome = begin(upload);
  ASSERT_TRUE(runMainLoopUntil([&] { return upload->isPaused(); }));
  upload->stopFetching();
  ASSERT_TRUE(runMainLoopUntil([&] { return server_.upload(1)->cancelled; }));
  EXPECT_TRUE(upload->waitForCompletionWithTimeout(10));
  platform::testing::drainMainLoop();
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_EQ(upload->uploadLocationURL(), std::nullopt);
  EXPECT_EQ(server_.log(), (Lines{"start", "cancel"}));
}

TEST_F(UploadTest, HostileServerRepliesEndTheUploadOnce) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    int64_t code;
  };
  const auto startReply = [&](std::string status, std::string location) {
    return [this, status, location] {
      server_.answerNextStart([status, location](httplib::Response& response) {
        if (!status.empty()) response.set_header("X-Zorova-Upload-Status", status);
        if (!location.empty()) response.set_header("X-Zorova-Upload-URL", location);
      });
    };
  };
  const auto afterFirstChunk = [&](std::function<void()> fault) {
    return [this, fault] {
      server_.loseNextChunk();  // the second chunk is refused, so a query follows
      fault();
    };
  };
  const std::string elsewhere = "http://localhost:" + std::to_string(server_.http().port());
  for (const Case& c : {
           Case{"final at start", startReply("final", server_.url("/upload/9")), 501},
           Case{"no location", startReply("active", ""), 501},
           Case{"garbage status", startReply("garbage", server_.url("/upload/9")), 501},
           Case{"location not a web URL", startReply("active", "file:///etc/passwd"), 501},
           Case{"query answered final", afterFirstChunk([&] { server_.answerNextQueryFinal(); }),
                501},
           Case{"negative count",
                afterFirstChunk([&] { server_.answerNextQuerySizeReceived("-5"); }), 501},
           Case{"count past the body",
                afterFirstChunk([&] { server_.answerNextQuerySizeReceived("25001"); }), 501},
           Case{"huge count", afterFirstChunk([&] {
                  server_.answerNextQuerySizeReceived("99999999999999999999");
                }),
                501},
           Case{"garbage count",
                afterFirstChunk([&] { server_.answerNextQuerySizeReceived("12ab"); }), 501},
           Case{"redirect to another host",
                [&] { server_.redirectNextChunkTo(elsewhere + "/upload/1"); }, 307},
       }) {
    SCOPED_TRACE(c.name);
    c.arrange();
    Upload::Ptr upload = makeUpload(10000);
    upload->setUploadData(bodyOf(25000));
    auto outcome = begin(upload);
    finish(outcome);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherStatusDomain);
    EXPECT_EQ(outcome->error->code(), c.code);
    EXPECT_TRUE(upload->waitForCompletionWithTimeout(10));
  }
}

TEST_F(UploadTest, MissingChunkEndsWithItsError) {
  Upload::Ptr upload = makeUpload(10000);
  upload->setUploadDataLength(
      25000, [](int64_t, int64_t, auto response) { response(std::nullopt, std::nullopt); });
  auto outcome = begin(upload);
  finish(outcome);
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherErrorDomain);
  EXPECT_EQ(outcome->error->code(), kZTMSessionFetcherErrorUploadChunkUnavailable);
  EXPECT_EQ(outcome->error->localizedDescription(), "chunkData is nil");
}

TEST_F(UploadTest, ServiceMakesTheUploadFetcher) {
  auto service = ZSDK_ZTMSessionFetcherService::make();
  service->setAllowLocalhostRequest(true);
  platform::net::URLRequest request(platform::URL::parse(server_.startURL()).value());
  Upload::Ptr upload = Upload::uploadFetcherWithRequest(request, "text/plain", 10000, service);
  EXPECT_EQ(upload->service(), service);
  EXPECT_TRUE(upload->allowLocalhostRequest());
  upload->setUploadData(platform::bytesOf("hello"));
  auto outcome = begin(upload);
  finish(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  EXPECT_EQ(received(), "hello");
}

TEST_F(UploadTest, RestartRebuildsTheUploadAndGoesOn) {
  platform::ManualClock clock;
  const Bytes body = bodyOf(25000);
  const platform::URL file = writeFile("restart.bin", body);
  // The last run: the first chunk arrived, then the process ended.
  failSecondChunk(server_, 500);
  {
    Upload::Ptr upload = makeUpload(10000);
    upload->setUploadFileURL(file);
    finish(begin(upload));
    ASSERT_EQ(received(), platform::stringOf(Bytes(body.begin(), body.begin() + 10000)));
  }
  const std::string location = server_.url("/upload/1");
  platform::Value metadata = platform::Value::dictionary({{"_upChunk", true},
                                                          {"_upFileURL", file.absoluteString()},
                                                          {"_upFileLen", 25000},
                                                          {"_upLocURL", location},
                                                          {"_uploadMIME", "application/x-test"},
                                                          {"_upChSize", 10000},
                                                          {"_upOffset", 10000}});
  // The chunk fetcher's background session, as the last run left it in the defaults.
  auto keeper = ZSDK_ZTMSessionFetcher::fetcherWithURLString(location);
  keeper->createSessionIdentifierWithMetadata(metadata);
  const std::string identifier = keeper->sessionIdentifier();
  keeper.reset();
  ASSERT_TRUE(platform::UserDefaults::standard()
                  ->setObject(platform::Value::array({identifier}),
                              kZTMSessionFetcherPersistedDestinationKey)
                  .ok());

  Upload::Ptr restored = Upload::uploadFetcherForSessionIdentifier(identifier);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->uploadLocationURL()->absoluteString(), location);
  EXPECT_EQ(restored->currentOffset(), 10000);
  EXPECT_EQ(restored->uploadMIMEType(), "application/x-test");
  restored->setAllowLocalhostRequest(true);
  auto outcome = std::make_shared<Outcome>();
  restored->setCompletionHandler([outcome](const auto& data, const auto& error) {
    ++outcome->calls;
    outcome->data = data;
    outcome->error = error;
  });
  // The restored chunk's task did not outlive the process: the upload asks where to go on.
  platform::testing::drainMainLoop();
  clock.advanceSeconds(1);
  finish(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  EXPECT_EQ(logSince(3), (Lines{"query", "upload 10000+10000", "upload, finalize 20000+5000"}));
  EXPECT_EQ(received(), platform::stringOf(body));
}

TEST_F(UploadTest, InconsistentMetadataRebuildsNothing) {
  const platform::Value good = platform::Value::dictionary({{"_upChunk", true},
                                                            {"_upFileURL", "file:///tmp/x"},
                                                            {"_upFileLen", 100},
                                                            {"_upOffset", 50}});
  EXPECT_TRUE(Upload::uploadFetcherForSessionIdentifierMetadata(good));
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, platform::Value>>{{"_upOffset", 101},
                                                            {"_upOffset", -1},
                                                            {"_upFileLen", platform::Value()},
                                                            {"_upFileURL", platform::Value()},
                                                            {"_upFileURL", "http://x/"}}) {
    platform::Value bad = good;
    if (value.isNull()) {
      (void)bad.remove(key);
    } else {
      bad.set(key, value);
    }
    EXPECT_FALSE(Upload::uploadFetcherForSessionIdentifierMetadata(bad)) << key;
  }
}

}  // namespace
