#include "toolbox/fetcher/session_fetcher.h"

#include <gtest/gtest.h>

#include "platform/foundation/url_error.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "toolbox/fetcher/fetcher_test_support.h"
#include "toolbox/logger/logger.h"
#include "toolbox/runtime/class_lookup.h"

namespace {

using fetcher_test::begin;
using fetcher_test::requestFor;
using fetcher_test::waitFor;
using platform::Bytes;
using platform::bytesOf;
using platform::testing::HttpsServer;
using platform::testing::runMainLoopUntil;
using platform::testing::ScriptedServer;

// Collects what the fetcher logs through the shared logger.
class LoggedLines : public ZTMLogWriter {
 public:
  LoggedLines() {
    previous_ = ZSDK_ZTMLogger::sharedLogger();
    ZSDK_ZTMLogger::setSharedLogger(ZSDK_ZTMLogger::loggerWithWriter(
        std::shared_ptr<ZTMLogWriter>(this, [](ZTMLogWriter*) {}), nullptr, nullptr));
  }
  ~LoggedLines() override { ZSDK_ZTMLogger::setSharedLogger(previous_); }
  void logMessage(const std::string& message, ZTMLoggerLevel) override {
    platform::MutexLock lock(mutex_);
    text_ += message + "\n";
  }
  bool contains(const std::string& part) const {
    platform::MutexLock lock(mutex_);
    return text_.find(part) != std::string::npos;
  }

 private:
  mutable platform::Mutex mutex_;
  std::string text_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<ZSDK_ZTMLogger> previous_;
};

class SessionFetcherTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new fetcher_test::Server(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  // A fetcher for a path of the loopback server, allowed to fetch from it in plain text.
  ZSDK_ZTMSessionFetcher::Ptr fetcherFor(const std::string& path) {
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(requestFor(server_->url(path)));
    fetcher->setAllowLocalhostRequest(true);
    return fetcher;
  }
  static fetcher_test::Server* server_;
};

fetcher_test::Server* SessionFetcherTest::server_ = nullptr;

TEST_F(SessionFetcherTest, MethodFollowsTheBody) {
  struct Case {
    const char* name;
    const char* method;
    const char* override;
    std::optional<std::string> body;
    const char* expected;
  };
  const Case cases[] = {
      {"no body", "GET", nullptr, std::nullopt, "GET "},
      {"body makes a GET a POST", "GET", nullptr, "a=1", "POST a=1"},
      {"unset method with a body", "", nullptr, "a=1", "POST a=1"},
      {"override GET with a body", "GET", "GET", "x", "POST x"},
      {"PUT keeps PUT", "PUT", nullptr, "p", "PUT p"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::net::URLRequest request = requestFor(server_->url("/echo"));
    request.httpMethod = c.method;
    request.headers.set("X-Custom", "kept");
    if (c.override) request.headers.set("X-HTTP-Method-Override", c.override);
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
    fetcher->setAllowLocalhostRequest(true);
    if (c.body) fetcher->setBodyData(bytesOf(*c.body));
    auto outcome = begin(fetcher);
    EXPECT_TRUE(fetcher->isFetching());
    waitFor(outcome);
    EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(outcome->text(), c.expected);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_EQ(fetcher->responseHeaders()->value("X-Custom"), "kept");
    EXPECT_EQ(fetcher->statusCode(), 200);
    EXPECT_FALSE(fetcher->isFetching());
  }
}

TEST_F(SessionFetcherTest, StatusAbove299IsAnErrorThatKeepsTheBody) {
  auto notFound = fetcherFor("/status/404");
  auto outcome = begin(notFound);
  waitFor(outcome);
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherStatusDomain);
  EXPECT_EQ(outcome->error->code(), 404);
  EXPECT_EQ(outcome->error->userInfo()["data"], platform::Value(bytesOf("body of 404")));
  EXPECT_EQ(outcome->text(), "body of 404");

  auto noContent = fetcherFor("/status/204");
  outcome = begin(noContent);
  waitFor(outcome);
  EXPECT_EQ(outcome->error, std::nullopt);
  ASSERT_TRUE(outcome->data);
  EXPECT_TRUE(outcome->data->empty());
}

TEST_F(SessionFetcherTest, PlainTextOnlyWhereAllowed) {
  LoggedLines logged;
  platform::testing::LogCapture console;
  const std::string port = std::to_string(server_->http().port());
  struct Case {
    const char* name;
    std::string url;
    bool allowLocalhost;
    std::vector<std::string> insecure;
    int64_t code;  // 0: fetched
  };
  const Case cases[] = {
      {"local host refused", "http://127.0.0.1:" + port + "/echo", false, {}, -5},
      {"localhost refused", "http://LocalHost:" + port + "/echo", false, {"http"}, -5},
      {"local host allowed", "http://127.0.0.1:" + port + "/echo", true, {}, 0},
      {"any loopback address is the local host",
       "http://127.0.0.2:" + port + "/echo",
       false,
       {"http"},
       -5},
      // The unspecified address is no loopback name, yet a connection to it stays on this
      // machine; nothing listens on port 1.
      {"other host refused", "http://0.0.0.0:1/echo", true, {}, -5},
      {"other host with the scheme listed",
       "http://0.0.0.0:1/echo",
       false,
       {"HTTP"},
       platform::kURLErrorCannotConnectToHost},
      {"data URL", "data:,hello", false, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(c.url);
    fetcher->setAllowLocalhostRequest(c.allowLocalhost);
    fetcher->setAllowedInsecureSchemes(c.insecure);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->code(), c.code);
    if (c.code == -5) {
      EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherErrorDomain);
      EXPECT_EQ(outcome->error->userInfo()["NSErrorFailingURLStringKey"], platform::Value(c.url));
    }
  }
  // Refusals go to the system's console log, not to the toolbox logger's output.
  EXPECT_TRUE(
      console.contains("Localhost fetch disallowed for http://127.0.0.1:" + port + "/echo"));
  EXPECT_TRUE(
      console.contains("Localhost fetch disallowed for http://127.0.0.2:" + port + "/echo"));
  EXPECT_TRUE(console.contains("Fetch disallowed for http://0.0.0.0:1/echo"));
  EXPECT_FALSE(logged.contains("disallowed"));

  auto noURL = ZSDK_ZTMSessionFetcher::fetcherWithRequest(std::nullopt);
  auto outcome = begin(noURL);
  waitFor(outcome);
  EXPECT_EQ(outcome->code(), -1);
  EXPECT_EQ(outcome->error->userInfo()["NSErrorFailingURLStringKey"],
            platform::Value("(missing URL)"));
}

TEST_F(SessionFetcherTest, HttpsInAnyLetterCaseAndSelfSignedOnlyWhenAllowed) {
  HttpsServer secure;
  secure.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secure", "text/plain");
  });
  secure.start();
  for (bool allowInvalid : {false, true}) {
    SCOPED_TRACE(allowInvalid);
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(
        "HTTPS://127.0.0.1:" + std::to_string(secure.port()) + "/");
    fetcher->setAllowInvalidServerCertificates(allowInvalid);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    if (allowInvalid) {
      EXPECT_EQ(outcome->text(), "secure");
    } else {
      // The fetcher cancels the challenge of a certificate it cannot trust.
      EXPECT_EQ(outcome->error->domain(), platform::kURLErrorDomain);
      EXPECT_EQ(outcome->code(), platform::kURLErrorCancelled);
    }
  }
}

TEST_F(SessionFetcherTest, StopBeforeTheResponseEndsEverything) {
  ScriptedServer silent([](ScriptedServer::Connection& connection) {
    connection.readRequest();
    connection.hold();
  });
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(silent.url("/"));
  fetcher->setAllowLocalhostRequest(true);
  fetcher_test::NotificationCounter notifications(fetcher.get());
  auto outcome = begin(fetcher);
  ASSERT_TRUE(runMainLoopUntil([&] { return silent.connections() == 1; }));
  fetcher->stopFetching();
  EXPECT_FALSE(fetcher->isFetching());
  // The cancelled task's own end comes back and is swallowed; the session is let go.
  ASSERT_TRUE(runMainLoopUntil([&] { return fetcher->session() == nullptr; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_EQ(notifications.count(kZTMSessionFetcherStartedNotification), 1);
  EXPECT_EQ(notifications.count(kZTMSessionFetcherStoppedNotification), 1);
  fetcher->stopFetching();  // harmless when nothing runs
}

// A running fetch holds the app's background time: the app's end waits for it, and when that
// time is up the fetch ends with the expiry error.
TEST_F(SessionFetcherTest, TheAppsEndWaitsForARunningFetchAndThenExpiresIt) {
  using platform::ui::Application;
  Application::resetShared();
  platform::ManualClock clock;
  ScriptedServer silent([](ScriptedServer::Connection& connection) {
    connection.readRequest();
    connection.hold();
  });
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(silent.url("/"));
  fetcher->setAllowLocalhostRequest(true);
  auto outcome = begin(fetcher);
  ASSERT_TRUE(runMainLoopUntil([&] { return silent.connections() == 1; }));
  EXPECT_EQ(Application::shared().backgroundTaskCount(), 1u);

  bool ended = false;
  Application::shared().setTerminateHandler([&] { ended = true; });
  Application::shared().terminate();
  clock.advance(Application::kBackgroundTaskTimeLimit - platform::seconds(1));
  platform::testing::drainMainLoop();
  EXPECT_FALSE(ended);
  EXPECT_EQ(outcome->calls, 0);
  clock.advance(platform::seconds(1));
  waitFor(outcome);
  EXPECT_EQ(outcome->code(), kZTMSessionFetcherErrorBackgroundExpiration);
  ASSERT_TRUE(runMainLoopUntil([&] { return ended; }));
  EXPECT_EQ(Application::shared().backgroundTaskCount(), 0u);
  Application::resetShared();
}

// A fetch that ends gives its background time back.
TEST_F(SessionFetcherTest, AFinishedFetchGivesBackItsBackgroundTime) {
  using platform::ui::Application;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(server_->http().url("/echo"));
  fetcher->setAllowLocalhostRequest(true);
  auto outcome = begin(fetcher);
  waitFor(outcome);
  ASSERT_TRUE(runMainLoopUntil([&] { return Application::shared().backgroundTaskCount() == 0; }));
}

TEST_F(SessionFetcherTest, CallbacksRunOnTheCallbackQueueInsideTheGroup) {
  auto fetcher = fetcherFor("/echo");
  platform::QueuePtr queue = platform::makeSerialQueue("fetcher test callbacks");
  fetcher->setCallbackQueue(queue);
  std::atomic<bool> onQueue{false};
  std::atomic<int> calls{0};
  fetcher->beginFetchWithCompletionHandler([&](const auto&, const auto&) {
    onQueue = queue->isCurrent();
    ++calls;
  });
  EXPECT_TRUE(fetcher->waitForCompletionWithTimeout(10));
  EXPECT_TRUE(onQueue);
  EXPECT_EQ(calls, 1);
}

// The completion runs as the task's completion arrives on the main queue, without a second hop,
// once the fetch has stopped; callbacks posted before it still run first.
TEST_F(SessionFetcherTest, CompletionComesLastAndWithoutASecondHop) {
  for (const bool accumulate : {false, true}) {
    SCOPED_TRACE(accumulate ? "accumulating" : "gathering");
    auto fetcher = fetcherFor("/bytes?n=50000");
    std::vector<std::string> events;
    if (accumulate) {
      fetcher->setAccumulateDataBlock([&](const std::optional<Bytes>& data) {
        if (data) events.push_back("data");
      });
    }
    bool fetchingAtCompletion = true;
    fetcher->beginFetchWithCompletionHandler([&](const auto&, const auto& error) {
      EXPECT_FALSE(error);
      events.push_back("done");
      fetchingAtCompletion = fetcher->isFetching();
    });
    platform::net::TaskPtr task = fetcher->sessionTask();
    ASSERT_TRUE(task);
    ASSERT_TRUE(platform::testing::runMainLoopUntil(
        [&] { return task->state() == platform::net::URLSessionTask::State::Completed; }));
    if (!accumulate) {
      // In the same main-loop turn as the task's completion.
      EXPECT_EQ(events, std::vector<std::string>{"done"});
    }
    ASSERT_TRUE(platform::testing::runMainLoopUntil(
        [&] { return !events.empty() && events.back() == "done"; }));
    platform::testing::drainMainLoop();
    EXPECT_EQ(std::count(events.begin(), events.end(), "done"), 1);
    EXPECT_EQ(events.back(), "done");
    if (accumulate) {
      EXPECT_GE(events.size(), 2u);
    }
    EXPECT_FALSE(fetchingAtCompletion);
  }
}

TEST_F(SessionFetcherTest, WaitForCompletionRunsTheMainLoopAndTimesOut) {
  auto fetcher = fetcherFor("/echo");
  auto outcome = begin(fetcher);
  EXPECT_TRUE(fetcher->waitForCompletionWithTimeout(10));
  EXPECT_EQ(outcome->calls, 1);

  ScriptedServer silent([](ScriptedServer::Connection& connection) {
    connection.readRequest();
    connection.hold();
  });
  auto waiting = ZSDK_ZTMSessionFetcher::fetcherWithURLString(silent.url("/"));
  waiting->setAllowLocalhostRequest(true);
  auto never = begin(waiting);
  EXPECT_FALSE(waiting->waitForCompletionWithTimeout(0.05));
  waiting->stopFetching();
}

class Target {
 public:
  void finished(ZSDK_ZTMSessionFetcher& fetcher, const std::optional<Bytes>& data,
                const std::optional<platform::Error>& error) {
    comment = fetcher.comment();
    text = data ? platform::stringOf(*data) : "";
    failed = error.has_value();
    ++calls;
  }
  std::string comment;
  std::string text;
  bool failed = true;
  int calls = 0;
};

TEST_F(SessionFetcherTest, DelegateAndSelector) {
  auto fetcher = fetcherFor("/echo");
  fetcher->setCommentWithFormat("fetch %d", 7);
  auto target = std::make_shared<Target>();
  fetcher->beginFetchWithDelegate(target, &Target::finished);
  ASSERT_TRUE(runMainLoopUntil([&] { return target->calls > 0; }));
  EXPECT_EQ(target->comment, "fetch 7");
  EXPECT_EQ(target->text, "GET ");
  EXPECT_FALSE(target->failed);
}

TEST_F(SessionFetcherTest, RedirectsNeverDowngradeAndTheBlockDecides) {
  HttpsServer secure;
  const std::string securePort = std::to_string(secure.port());
  secure.routes().Get("/down", [&](const httplib::Request&, httplib::Response& response) {
    response.status = 302;
    response.set_header("Location", "http://localhost:" + securePort + "/landing");
  });
  secure.routes().Get("/landing", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("landed securely", "text/plain");
  });
  secure.start();
  {
    // http to https is followed as https.
    auto fetcher = fetcherFor("/redirect?to=https://127.0.0.1:" + securePort + "/landing");
    fetcher->setAllowInvalidServerCertificates(true);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "landed securely");
    EXPECT_EQ(fetcher->request()->url->scheme(), "https");
  }
  {
    // https to http is followed with https, at the new host and path.
    auto fetcher =
        ZSDK_ZTMSessionFetcher::fetcherWithURLString("https://127.0.0.1:" + securePort + "/down");
    fetcher->setAllowInvalidServerCertificates(true);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "landed securely");
    EXPECT_EQ(fetcher->request()->urlString(), "https://localhost:" + securePort + "/landing");
  }
  {
    // The block changes the target.
    auto fetcher = fetcherFor("/redirect?to=/status/500");
    fetcher->setWillRedirectBlock([](const auto& redirect, const auto& request, auto completion) {
      EXPECT_EQ(redirect.statusCode, 302);
      platform::net::URLRequest changed = request;
      changed.url = changed.url->resolve("/echo").value();
      completion(changed);
    });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "GET ");
  }
  {
    // The block refuses: the redirect is the answer, a status error with its body.
    auto fetcher = fetcherFor("/redirect?to=/echo");
    fetcher->setWillRedirectBlock(
        [](const auto&, const auto&, auto completion) { completion(std::nullopt); });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->code(), 302);
    EXPECT_EQ(outcome->text(), "moved");
  }
  {
    // Authorization goes with a redirect to the same origin only.
    const std::string port = std::to_string(server_->http().port());
    for (const char* host : {"127.0.0.1", "localhost"}) {
      SCOPED_TRACE(host);
      platform::net::URLRequest request = requestFor(
          server_->url("/redirect?to=http://" + std::string(host) + ":" + port + "/echo"));
      request.headers.set("Authorization", "Bearer secret");
      auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
      fetcher->setAllowLocalhostRequest(true);
      auto outcome = begin(fetcher);
      waitFor(outcome);
      EXPECT_EQ(fetcher->responseHeaders()->value("X-Auth"),
                std::string(host) == "127.0.0.1" ? "Bearer secret" : "");
    }
  }
}

TEST_F(SessionFetcherTest, CookiesPerStorageMethod) {
  ZSDK_ZTMSessionFetcher::staticCookieStorage()->removeAllCookies();
  const auto fetchWithMethod = [&](const std::string& path, std::optional<int> method) {
    auto fetcher = fetcherFor(path);
    if (method) fetcher->setCookieStorageMethod(*method);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    return fetcher;
  };
  // Method 0 (and no method): the process-wide jar.
  fetchWithMethod("/set-cookie?c=shared%3D1", 0);
  EXPECT_EQ(ZSDK_ZTMSessionFetcher::staticCookieStorage()->cookies().size(), 1u);
  auto sender = fetchWithMethod("/echo", std::nullopt);
  EXPECT_EQ(sender->responseHeaders()->value("X-Cookie"), "shared=1");

  // Method 3: a jar of the fetcher's own, neither fed by nor feeding the shared one.
  auto own = fetchWithMethod("/set-cookie?c=own%3D1", 3);
  EXPECT_EQ(ZSDK_ZTMSessionFetcher::staticCookieStorage()->cookies().size(), 1u);
  ASSERT_EQ(own->cookieStorage()->cookies().size(), 1u);
  EXPECT_NE(own->cookieStorage(), ZSDK_ZTMSessionFetcher::staticCookieStorage());

  // Method 1 keeps whatever was set.
  auto kept = fetcherFor("/echo");
  kept->setCookieStorage(own->cookieStorage());
  kept->setCookieStorageMethod(1);
  EXPECT_EQ(kept->cookieStorage(), own->cookieStorage());
  EXPECT_EQ(fetchWithMethod("/echo", 2)->cookieStorage(),
            platform::net::HTTPCookieStorage::shared());

  // A server may not set cookies for another domain.
  fetchWithMethod("/set-cookie?c=planted%3D1%3B%20Domain%3Dexample.com", 0);
  EXPECT_EQ(ZSDK_ZTMSessionFetcher::staticCookieStorage()->cookies().size(), 1u);
}

TEST_F(SessionFetcherTest, DownloadToAFileAndUploadFromOne) {
  platform::testing::TempDir folder;
  {
    auto fetcher = fetcherFor("/bytes?n=100000");
    fetcher->setDestinationFileURL(
        platform::URL::fileURL((folder / "download.bin").string()).value());
    int64_t lastWritten = 0;
    fetcher->setDownloadProgressBlock(
        [&](int64_t, int64_t written, int64_t) { lastWritten = written; });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(outcome->data, std::nullopt);  // the body went to the file
    EXPECT_EQ(platform::testing::readFile(folder / "download.bin").size(), 100000u);
    EXPECT_EQ(lastWritten, fetcher->downloadedLength());
  }
  {
    platform::testing::writeFile(folder / "upload.txt", "uploaded from a file");
    platform::net::URLRequest put = requestFor(server_->url("/echo"));
    put.httpMethod = "PUT";
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(put);
    fetcher->setAllowLocalhostRequest(true);
    fetcher->setBodyFileURL(platform::URL::fileURL((folder / "upload.txt").string()).value());
    int64_t sent = 0;
    fetcher->setSendProgressBlock([&](int64_t, int64_t total, int64_t) { sent = total; });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "PUT uploaded from a file");
    EXPECT_EQ(sent, 20);
    EXPECT_EQ(fetcher->bodyLength(), 20);
  }
  {
    auto fetcher = fetcherFor("/echo");
    fetcher->setBodyStreamProvider([](auto completion) {
      completion(platform::net::makeDataInputStream(bytesOf("streamed")));
    });
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_EQ(outcome->text(), "POST streamed");
  }
}

// A body bound for a file that cannot be written ends the fetch with an error and leaves the file
// that was there as it was.
TEST_F(SessionFetcherTest, FailedWriteToTheDestinationKeepsTheOldFile) {
  platform::testing::TempDir folder;
  const auto destination = folder / "kept.txt";
  platform::testing::writeFile(destination, "old");
  const auto previous = platform::FileManager::setRenameFaultForTesting(
      [](const std::filesystem::path&) { return EIO; });
  const auto played = [](ZSDK_ZTMSessionFetcher& f, ZSDK_ZTMSessionFetcher::TestResponse respond) {
    platform::net::URLResponse response;
    response.url = *f.request()->url;
    response.isHTTP = true;
    response.statusCode = 200;
    respond(response, bytesOf("new"), std::nullopt);
  };
  for (const bool playback : {false, true}) {
    SCOPED_TRACE(playback ? "played back" : "data URL");
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString("data:,new");
    fetcher->setDestinationFileURL(platform::URL::fileURL(destination.string()).value());
    if (playback) fetcher->setTestBlock(played);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->code(), platform::kURLErrorCannotWriteToFile);
    EXPECT_EQ(platform::testing::readFile(destination), "old");
  }
  platform::FileManager::setRenameFaultForTesting(previous);
}

TEST_F(SessionFetcherTest, AccumulateBlockTakesTheBody) {
  auto fetcher = fetcherFor("/bytes?n=50000");
  Bytes received;
  fetcher->setAccumulateDataBlock([&](const std::optional<Bytes>& data) {
    if (data) received.insert(received.end(), data->begin(), data->end());
  });
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(outcome->data, std::nullopt);
  EXPECT_EQ(received.size(), 50000u);
  EXPECT_EQ(fetcher->downloadedLength(), 50000);
}

// Misbehaving servers end the fetch with one error, never a hang or a second call.
TEST_F(SessionFetcherTest, BadServersEndTheFetchWithOneError) {
  struct Case {
    const char* name;
    std::string reply;
    bool hold;
    const char* domain;
    int64_t code;
  };
  const Case cases[] = {
      {"garbage status line", "ICY 200 OK\r\n\r\n", false, platform::kURLErrorDomain,
       platform::kURLErrorBadServerResponse},
      {"body cut mid-way", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", false,
       platform::kURLErrorDomain, platform::kURLErrorNetworkConnectionLost},
      {"header line without a colon", "HTTP/1.1 200 OK\r\n\x7f\x7f\r\n\r\n", false,
       platform::kURLErrorDomain, platform::kURLErrorBadServerResponse},
      {"garbage Retry-After on an error", "HTTP/1.1 503 No\r\nRetry-After: \x01soon\r\n\r\n", false,
       kZTMSessionFetcherStatusDomain, 503},
      {"never answers", "", true, platform::kURLErrorDomain, platform::kURLErrorTimedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer bad([&](ScriptedServer::Connection& connection) {
      connection.readRequest();
      connection.write(c.reply);
      if (c.hold) connection.hold();
    });
    platform::net::URLRequest request = requestFor(bad.url("/"));
    request.timeoutInterval = 0.3;
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
    fetcher->setAllowLocalhostRequest(true);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain(), c.domain);
    EXPECT_EQ(outcome->code(), c.code);
  }
}

// Partial downloads are never kept, so resume data cannot continue one: the fetch ends with that
// error instead of running without a request.
TEST_F(SessionFetcherTest, ResumeDataFetchEndsWithCannotResume) {
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithDownloadResumeData(bytesOf("resume"));
  auto outcome = begin(fetcher);
  waitFor(outcome);
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(outcome->error->domain(), platform::kURLErrorDomain);
  EXPECT_EQ(outcome->code(), platform::kURLErrorCannotResumeDownload);
}

// A fetcher is its session's delegate; once a fetch is over, neither keeps the other alive.
TEST_F(SessionFetcherTest, NothingKeepsAFinishedFetcherAlive) {
  std::vector<std::weak_ptr<ZSDK_ZTMSessionFetcher>> gone;
  {
    auto fetched = fetcherFor("/echo");
    waitFor(begin(fetched));
    gone.push_back(fetched);
    auto failed = fetcherFor("/status/500");
    waitFor(begin(failed));
    gone.push_back(failed);
    auto stopped = fetcherFor("/bytes?n=10");
    begin(stopped);
    stopped->stopFetching();
    gone.push_back(stopped);
  }
  ASSERT_TRUE(runMainLoopUntil([&] {
    return std::all_of(gone.begin(), gone.end(), [](const auto& weak) { return weak.expired(); });
  }));
}

// A service that holds fetches back until it lets them go.
class HoldingService : public ZTMSessionFetcherServiceProtocol {
 public:
  bool fetcherShouldBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) override {
    if (!holding) return true;
    held = &fetcher;
    return false;
  }
  bool isDelayingFetcher(ZSDK_ZTMSessionFetcher& fetcher) override { return held == &fetcher; }
  void fetcherDidBeginFetching(ZSDK_ZTMSessionFetcher&) override { ++began; }
  void fetcherDidStop(ZSDK_ZTMSessionFetcher&) override { ++stopped; }
  bool holding = true;
  ZSDK_ZTMSessionFetcher* held = nullptr;
  int began = 0;
  int stopped = 0;
};

TEST_F(SessionFetcherTest, ServiceMayHoldAFetchBack) {
  auto service = std::make_shared<HoldingService>();
  const int hits = server_->hits("/echo");
  auto fetcher = fetcherFor("/echo");
  fetcher->setService(service);
  auto outcome = begin(fetcher);
  platform::testing::drainMainLoop();
  EXPECT_EQ(service->held, fetcher.get());
  EXPECT_TRUE(fetcher->isFetching());
  EXPECT_EQ(server_->hits("/echo"), hits);
  // The service lets it go.
  service->holding = false;
  service->held = nullptr;
  fetcher->beginFetchMayDelay(false, true);
  waitFor(outcome);
  EXPECT_EQ(outcome->text(), "GET ");
  EXPECT_EQ(service->began, 1);
  EXPECT_GE(service->stopped, 1);
}

// The fetcher's answers to the session's challenges and progress reports, given directly.
TEST(SessionFetcherEventsTest, ChallengeAnswersAndDownloadProgress) {
  using platform::net::AuthChallengeDisposition;
  using platform::net::URLAuthenticationChallenge;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString("https://127.0.0.1:1/");
  auto session = platform::net::URLSession::make(
      platform::net::URLSessionConfiguration::ephemeral(), fetcher, platform::mainQueue());
  platform::net::TaskPtr task = session->dataTask(*fetcher->request());
  const auto answerTo = [&](const URLAuthenticationChallenge& challenge) {
    std::string answer;
    fetcher->didReceiveChallenge(
        *session, task, challenge,
        [&](AuthChallengeDisposition disposition, std::optional<platform::net::URLCredential> c) {
          answer = std::to_string(static_cast<int>(disposition)) + " " +
                   (c ? (c->serverTrust ? "trust" : c->user) : "none");
        });
    return answer;
  };
  URLAuthenticationChallenge trust;
  trust.protectionSpace.authenticationMethod = platform::net::kAuthenticationMethodServerTrust;
  trust.protectionSpace.serverTrust =
      std::make_shared<platform::net::ServerTrust>("127.0.0.1", std::vector<Bytes>{});
  URLAuthenticationChallenge basic;
  basic.protectionSpace.authenticationMethod = platform::net::kAuthenticationMethodHTTPBasic;
  URLAuthenticationChallenge proxy = basic;
  proxy.protectionSpace.isProxy = true;

  EXPECT_EQ(answerTo(trust), "2 none");  // evaluation fails: cancelled
  EXPECT_EQ(answerTo(basic), "1 none");  // no credential: default handling
  fetcher->setAllowInvalidServerCertificates(true);
  fetcher->setCredential(platform::net::URLCredential::withUser("user", "secret"));
  fetcher->setProxyCredential(platform::net::URLCredential::withUser("proxy", "p"));
  EXPECT_EQ(answerTo(trust), "0 trust");
  EXPECT_EQ(answerTo(basic), "0 user");
  EXPECT_EQ(answerTo(proxy), "0 proxy");
  basic.previousFailureCount = 3;
  EXPECT_EQ(answerTo(basic), "2 none");  // three failures: given up without asking
  trust.protectionSpace.serverTrust = nullptr;
  trust.previousFailureCount = 0;
  EXPECT_EQ(answerTo(trust), "1 none");

  std::vector<int64_t> expected;
  fetcher->setDownloadProgressBlock(
      [&](int64_t, int64_t, int64_t total) { expected.push_back(total); });
  fetcher->didWriteData(*session, task, 10, 20, 15);  // fewer announced than written: unknown
  fetcher->didWriteData(*session, task, 10, 30, 40);
  fetcher->didWriteData(*session, task, 10, 40, -1);
  platform::testing::drainMainLoop();
  EXPECT_EQ(expected, (std::vector<int64_t>{-1, 40, -1}));
  // The task never ran: let the fetcher drop it, or fetcher, task and session hold each other.
  fetcher->setSessionTask(nullptr);
}

TEST(SessionFetcherLookupTest, FoundByItsPlainName) {
  ZSDKClass<ZSDK_ZTMSessionFetcher> fetcherClass =
      ZSDKClassFromString<ZSDK_ZTMSessionFetcher>("ZTMSessionFetcher");
  ASSERT_TRUE(fetcherClass);
  EXPECT_EQ(fetcherClass()->comment(), "(No fetcher comment set)");
  EXPECT_FALSE(ZSDKClassFromString<ZSDK_ZTMSessionFetcher>("ZTMHTTPFetcher"));
}

TEST(SessionFetcherPropertiesTest, CallerValuesAndDescription) {
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString("https://example.com/a");
  EXPECT_EQ(fetcher->description().find("ZSDK_ZTMSessionFetcher 0x"), 0u);
  EXPECT_NE(fetcher->description().find("(https://example.com/a)"), std::string::npos);
  fetcher->setProperty("a", 1);
  fetcher->addPropertiesFromDictionary(platform::Value::dictionary({{"b", 2}}));
  fetcher->setProperty("a", platform::Value());
  EXPECT_EQ(fetcher->properties(), platform::Value::dictionary({{"b", 2}}));
  EXPECT_EQ(fetcher->propertyForKey("b"), platform::Value(2));
  EXPECT_GE(fetcher->minRetryInterval(), 1.0);
  EXPECT_LT(fetcher->minRetryInterval(), 2.0);
  EXPECT_EQ(fetcher->maxRetryInterval(), -1.0);
  EXPECT_EQ(fetcher->bodyLength(), -1);
  fetcher->setBodyData(bytesOf("12345"));
  EXPECT_EQ(fetcher->bodyLength(), 5);
  EXPECT_FALSE(fetcher->isFetching());
}

}  // namespace
