#include "platform/net/url_session.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/resource.h>

#include <csignal>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/url_error.h"
#include "platform/net/bound_stream_pair.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"

namespace platform::net {
namespace {

using platform::testing::HttpServer;
using platform::testing::HttpsServer;
using platform::testing::runMainLoopUntil;
using platform::testing::ScriptedServer;

URL url(const std::string& text) { return URL::parse(text).value(); }

// Records what a session tells its delegate, in order, on the main queue; tests script the
// answers through the hooks.
class Recorder : public URLSessionDelegate {
 public:
  std::vector<std::string> events;
  Bytes body;
  std::optional<URLResponse> response;
  std::optional<Error> error;
  int completions = 0;
  bool invalid = false;
  std::filesystem::path downloadedCopy;

  std::function<void(const URLResponse&, URLRequest,
                     std::function<void(std::optional<URLRequest>)>)>
      onRedirect;
  std::function<void(std::function<void(ResponseDisposition)>)> onResponse;
  std::function<void(const URLAuthenticationChallenge&,
                     std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)>)>
      onChallenge;
  std::function<std::shared_ptr<InputStream>()> onBodyStream;
  std::function<void()> onData;

  void didBecomeInvalid(URLSession&, const std::optional<Error>&) override {
    EXPECT_TRUE(isMainThread());
    events.push_back("invalid");
    invalid = true;
  }
  void willPerformHTTPRedirection(
      URLSession&, const TaskPtr&, const URLResponse& redirect, URLRequest proposed,
      std::function<void(std::optional<URLRequest>)> completion) override {
    events.push_back("redirect " + std::to_string(redirect.statusCode) + " " +
                     proposed.urlString());
    if (onRedirect) return onRedirect(redirect, std::move(proposed), std::move(completion));
    completion(std::move(proposed));
  }
  void didReceiveChallenge(
      URLSession&, const TaskPtr&, const URLAuthenticationChallenge& challenge,
      std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion)
      override {
    events.push_back("challenge " + challenge.protectionSpace.authenticationMethod + " " +
                     std::to_string(challenge.previousFailureCount));
    if (onChallenge) return onChallenge(challenge, std::move(completion));
    completion(AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
  }
  void needNewBodyStream(URLSession&, const TaskPtr&,
                         std::function<void(std::shared_ptr<InputStream>)> completion) override {
    events.push_back("body stream");
    completion(onBodyStream ? onBodyStream() : nullptr);
  }
  void didSendBodyData(URLSession&, const TaskPtr&, int64_t, int64_t total,
                       int64_t expected) override {
    if (total == expected) events.push_back("sent " + std::to_string(total));
  }
  void didReceiveResponse(URLSession&, const TaskPtr&, const URLResponse& head,
                          std::function<void(ResponseDisposition)> completion) override {
    EXPECT_TRUE(isMainThread());
    events.push_back("response " + std::to_string(head.statusCode));
    response = head;
    if (onResponse) return onResponse(std::move(completion));
    completion(ResponseDisposition::Allow);
  }
  void didReceiveData(URLSession&, const TaskPtr&, const Bytes& data) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    body.insert(body.end(), data.begin(), data.end());
    if (onData) onData();
  }
  void didWriteData(URLSession&, const TaskPtr&, int64_t, int64_t total,
                    int64_t expected) override {
    if (total == expected) events.push_back("written " + std::to_string(total));
  }
  void didFinishDownloadingTo(URLSession&, const TaskPtr&,
                              const std::filesystem::path& location) override {
    events.push_back("downloaded");
    std::filesystem::copy_file(location, downloadedCopy);
    downloadedCopy = location;  // to check it is gone afterwards
  }
  void didCompleteWithError(URLSession&, const TaskPtr&,
                            const std::optional<Error>& failure) override {
    EXPECT_TRUE(isMainThread());
    events.push_back(failure ? "error " + std::to_string(failure->code()) : "done");
    error = failure;
    ++completions;
  }

  std::string text() const { return stringOf(body); }
};

// A delegate queue that keeps its work until the test runs it on the main thread.
class HeldQueue : public DispatchQueue {
 public:
  HeldQueue() : DispatchQueue("held") {}
  void async(Work work) override {
    MutexLock lock(mutex_);
    work_.push_back(std::move(work));
  }
  bool isCurrent() const override { return isMainThread(); }
  size_t size() const {
    MutexLock lock(mutex_);
    return work_.size();
  }
  // Runs what is held, then lets it go.
  void runAll() {
    std::vector<Work> work;
    {
      MutexLock lock(mutex_);
      work.swap(work_);
    }
    for (Work& item : work) item();
  }

 private:
  mutable Mutex mutex_;
  std::vector<Work> work_ VKR_GUARDED_BY(mutex_);
};

// A delegate queue whose work runs on the main thread without being the main queue: its sessions'
// transfers run on the network thread, while the test sees their delegate calls as the main
// queue's sessions' are seen.
class MainThreadQueue : public DispatchQueue {
 public:
  MainThreadQueue() : DispatchQueue("main thread") {}
  void async(Work work) override { mainQueue()->async(std::move(work)); }
  bool isCurrent() const override { return isMainThread(); }
};

// Where the sessions' transfers run: each test runs with both.
enum class Engine { MainLoop, NetworkThread };

std::string engineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::MainLoop ? "MainLoop" : "NetworkThread";
}

class URLSessionTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void SetUpTestSuite() {
    server_ = new HttpServer();
    httplib::Server& routes = server_->routes();
    routes.Get("/who", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.get_header_value("User-Agent") + "|" +
                               request.get_header_value("Accept-Language"),
                           "text/plain");
    });
    routes.Get("/hello", [](const httplib::Request& request, httplib::Response& response) {
      response.set_header("X-Echo", request.get_header_value("X-Custom"));
      response.set_content("hello", "text/plain; charset=UTF-8");
    });
    routes.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(
          request.method + " " + request.get_header_value("Content-Type") + " " + request.body,
          "text/plain");
    });
    routes.Put("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.method + " " + request.body, "text/plain");
    });
    routes.Get("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.method + " auth=" + request.get_header_value("Authorization"),
                           "text/plain");
    });
    routes.Get("/status/(\\d+)", [](const httplib::Request& request, httplib::Response& response) {
      response.status = std::stoi(request.matches[1]);
      response.set_content("status body", "text/plain");
    });
    routes.Get("/redirect", [](const httplib::Request& request, httplib::Response& response) {
      response.status = 302;
      response.set_header("Location", request.get_param_value("to"));
      response.set_content("moved", "text/plain");
    });
    routes.Post("/see-other", [](const httplib::Request&, httplib::Response& response) {
      response.status = 303;
      response.set_header("Location", "/echo");
    });
    routes.Post("/temporary", [](const httplib::Request&, httplib::Response& response) {
      response.status = 307;
      response.set_header("Location", "/echo");
    });
    routes.Get("/loop", [](const httplib::Request&, httplib::Response& response) {
      response.status = 302;
      response.set_header("Location", "/loop");
    });
    routes.Get("/big", [](const httplib::Request& request, httplib::Response& response) {
      const size_t size = std::stoul(request.get_param_value("size"));
      std::string content(size, 'x');
      for (size_t i = 0; i < size; i += 997) content[i] = static_cast<char>('a' + i % 26);
      response.set_content(content, "application/octet-stream");
    });
    routes.Get("/set-cookie", [](const httplib::Request&, httplib::Response& response) {
      response.set_header("Set-Cookie", "session=abc; Path=/");
      response.set_header("Set-Cookie", "planted=1; Domain=example.com; Path=/");
      response.set_content("ok", "text/plain");
    });
    routes.Get("/cookies", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.get_header_value("Cookie"), "text/plain");
    });
    routes.Get("/private", [](const httplib::Request& request, httplib::Response& response) {
      // "user:secret" in base64.
      if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        response.set_content("welcome", "text/plain");
        return;
      }
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"vault\"");
      response.set_content("who are you", "text/plain");
    });
    server_->start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  std::shared_ptr<URLSession> makeSession(
      URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral()) {
    const QueuePtr queue =
        GetParam() == Engine::MainLoop ? mainQueue() : std::make_shared<MainThreadQueue>();
    return URLSession::make(std::move(configuration), recorder_, queue);
  }
  // Runs the task to its completion (or fails the test after a time-out), doing `meanwhile` on
  // the main thread once it has started.
  void run(
      const TaskPtr& task, const std::function<void()>& meanwhile = [] {}) {
    task->resume();
    meanwhile();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->completions > 0; }));
    // Nothing may follow the completion.
    platform::testing::drainMainLoop();
    EXPECT_EQ(recorder_->completions, 1);
  }
  URLRequest request(const std::string& path) { return URLRequest(url(server_->url(path))); }

  static HttpServer* server_;
  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
};

HttpServer* URLSessionTest::server_ = nullptr;

TEST_P(URLSessionTest, GetReportsResponseDataAndCompletionInOrder) {
  auto session = makeSession();
  URLRequest get = request("/hello");
  get.headers.set("X-Custom", "42");
  get.headers.set("Accept-Encoding", "identity");  // so the length on the wire is the body's
  TaskPtr task = session->dataTask(get);
  EXPECT_EQ(task->state(), URLSessionTask::State::Suspended);
  run(task);
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "data", "done"}));
  EXPECT_EQ(recorder_->text(), "hello");
  ASSERT_TRUE(recorder_->response);
  EXPECT_EQ(recorder_->response->headers.value("x-echo"), "42");
  EXPECT_EQ(recorder_->response->mimeType, "text/plain");
  EXPECT_EQ(recorder_->response->textEncodingName, "utf-8");
  EXPECT_EQ(recorder_->response->expectedContentLength, 5);
  EXPECT_EQ(task->state(), URLSessionTask::State::Completed);
  EXPECT_EQ(task->countOfBytesReceived(), 5);
}

// Every request says who asks and in which languages, unless it names its own.
TEST_P(URLSessionTest, RequestsCarryAUserAgentAndTheUsersLanguages) {
  const char* saved = std::getenv("LANGUAGE");
  const std::string previous = saved ? saved : "";
  setenv("LANGUAGE", "de_DE:en_GB:en", 1);
  run(makeSession()->dataTask(request("/who")));
  const std::string sent = recorder_->text();
  EXPECT_TRUE(sent.find("Vokaru/") != std::string::npos &&
              sent.find(" (Linux)|") != std::string::npos)
      << sent;
  EXPECT_NE(sent.find("|de-DE, en-GB;q=0.9, en;q=0.8"), std::string::npos) << sent;

  recorder_ = std::make_shared<Recorder>();
  URLRequest own = request("/who");
  own.headers.set("User-Agent", "mine/1");
  own.headers.set("Accept-Language", "fr");
  run(makeSession()->dataTask(own));
  EXPECT_EQ(recorder_->text(), "mine/1|fr");
  if (saved) {
    setenv("LANGUAGE", previous.c_str(), 1);
  } else {
    unsetenv("LANGUAGE");
  }
}

TEST_P(URLSessionTest, BodiesFromBytesRequestFileAndStream) {
  platform::testing::TempDir folder;
  platform::testing::writeFile(folder / "body.txt", "from a file");
  struct Case {
    const char* name;
    std::function<TaskPtr(URLSession&, URLRequest)> make;
    std::string expected;
  };
  const Case cases[] = {
      {"upload bytes",
       [](URLSession& s, URLRequest r) { return s.uploadTask(std::move(r), bytesOf("a=1&b=2")); },
       "POST application/x-www-form-urlencoded a=1&b=2"},
      {"upload shared bytes",
       [](URLSession& s, URLRequest r) {
         return s.uploadTask(std::move(r), std::make_shared<const platform::Bytes>(bytesOf("c=3")));
       },
       "POST application/x-www-form-urlencoded c=3"},
      {"request body",
       [](URLSession& s, URLRequest r) {
         r.httpBody = bytesOf("{}");
         r.headers.set("Content-Type", "application/json");
         return s.dataTask(std::move(r));
       },
       "POST application/json {}"},
      {"upload file",
       [&](URLSession& s, URLRequest r) { return s.uploadTask(std::move(r), folder / "body.txt"); },
       "POST application/x-www-form-urlencoded from a file"},
      {"streamed", [](URLSession& s, URLRequest r) { return s.uploadTaskWithStreamedRequest(r); },
       "POST application/x-www-form-urlencoded streamed body"},
      {"empty post", [](URLSession& s, URLRequest r) { return s.dataTask(std::move(r)); },
       "POST application/x-www-form-urlencoded "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder_ = std::make_shared<Recorder>();
    recorder_->onBodyStream = [] { return makeDataInputStream(bytesOf("streamed body")); };
    auto session = makeSession();
    URLRequest post = request("/echo");
    post.httpMethod = "POST";
    run(c.make(*session, post));
    EXPECT_EQ(recorder_->text(), c.expected);
    EXPECT_EQ(recorder_->error, std::nullopt);
  }
  // A missing body file fails the task.
  auto session = makeSession();
  URLRequest post = request("/echo");
  post.httpMethod = "POST";
  recorder_ = std::make_shared<Recorder>();
  session = makeSession();
  run(session->uploadTask(post, folder / "missing.txt"));
  ASSERT_TRUE(recorder_->error);
  EXPECT_EQ(recorder_->error->code(), kURLErrorFileDoesNotExist);
  // A streamed upload whose delegate gives no stream fails.
  recorder_ = std::make_shared<Recorder>();
  session = makeSession();
  run(session->uploadTaskWithStreamedRequest(post));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"body stream", "error -1021"}));
}

// A body streamed by a writer on the main thread is sent while the writer waits for room: its
// transfer doesn't wait for the main loop the writer holds up.
TEST_P(URLSessionTest, StreamWrittenOnTheMainThreadIsSentWhileItsWriterWaits) {
  BoundStreamPair pair = makeBoundStreamPair(64);
  URLRequest post = request("/echo");
  post.httpMethod = "POST";
  post.httpBodyStream = pair.input;
  run(makeSession()->dataTask(post), [&] {
    ASSERT_TRUE(pair.output->open());
    const std::string body(8 * 1024, 'w');  // far more than the pair holds
    for (size_t written = 0; written < body.size();) {
      const int64_t count = pair.output->write(
          reinterpret_cast<const uint8_t*>(body.data()) + written, body.size() - written);
      ASSERT_GT(count, 0);
      written += static_cast<size_t>(count);
    }
    pair.output->close();
  });
  EXPECT_EQ(recorder_->error, std::nullopt);
  const std::string text = recorder_->text();
  EXPECT_EQ(text.size(), 8 * 1024 + 39) << ::testing::PrintToString(recorder_->events);
  EXPECT_TRUE(text.starts_with("POST application/x-www-form-urlencoded ww")) << text.substr(0, 80);
}

TEST_P(URLSessionTest, RedirectsFollowedChangedAndRefused) {
  const std::string target = server_->url("/hello");
  {
    auto session = makeSession();
    run(session->dataTask(request("/redirect?to=/hello")));
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"redirect 302 " + target, "response 200", "data", "done"}));
    EXPECT_EQ(recorder_->text(), "hello");
  }
  {
    // The delegate sends the request elsewhere.
    recorder_ = std::make_shared<Recorder>();
    recorder_->onRedirect = [&](const URLResponse&, URLRequest proposed, auto completion) {
      proposed.url = url(server_->url("/status/200"));
      completion(std::move(proposed));
    };
    auto session = makeSession();
    run(session->dataTask(request("/redirect?to=/hello")));
    EXPECT_EQ(recorder_->text(), "status body");
  }
  {
    // Refused: the redirect response itself is the answer, with its body.
    recorder_ = std::make_shared<Recorder>();
    recorder_->onRedirect = [](const URLResponse&, URLRequest, auto completion) {
      completion(std::nullopt);
    };
    auto session = makeSession();
    run(session->dataTask(request("/redirect?to=/hello")));
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"redirect 302 " + target, "response 302", "data", "done"}));
    EXPECT_EQ(recorder_->text(), "moved");
  }
  {
    // Only http(s) targets are followed; a redirect elsewhere is delivered as the response.
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    run(session->dataTask(request("/redirect?to=file:///etc/passwd")));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 302", "data", "done"}));
  }
  {
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    run(session->dataTask(request("/loop")));
    ASSERT_TRUE(recorder_->error);
    EXPECT_EQ(recorder_->error->code(), kURLErrorHTTPTooManyRedirects);
  }
}

TEST_P(URLSessionTest, RedirectMethodAndCredentialRules) {
  struct Case {
    const char* path;
    const char* expected;
  };
  // 303 turns a POST into a GET; 307 keeps the method and body.
  const Case cases[] = {{"/see-other", "GET auth="},
                        {"/temporary", "POST application/x-www-form-urlencoded payload"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    URLRequest post = request(c.path);
    post.httpMethod = "POST";
    post.httpBody = bytesOf("payload");
    run(session->dataTask(post));
    EXPECT_EQ(recorder_->text(), c.expected);
  }
  // Authorization goes along to the same origin only.
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    const std::string to =
        "http://" + std::string(host) + ":" + std::to_string(server_->port()) + "/echo";
    URLRequest get = request("/redirect?to=" + to);
    get.headers.set("Authorization", "Bearer t");
    run(session->dataTask(get));
    EXPECT_EQ(recorder_->text(),
              std::string(host) == "127.0.0.1" ? "GET auth=Bearer t" : "GET auth=");
  }
}

TEST_P(URLSessionTest, ResponseDispositionAndCancelStopEverythingButTheCompletion) {
  {
    recorder_->onResponse = [](auto completion) { completion(ResponseDisposition::Cancel); };
    auto session = makeSession();
    run(session->dataTask(request("/hello")));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "error -999"}));
  }
  {
    // A decision given later, from another thread, lets the held body through.
    recorder_ = std::make_shared<Recorder>();
    std::function<void(ResponseDisposition)> later;
    recorder_->onResponse = [&](auto completion) { later = std::move(completion); };
    auto session = makeSession();
    TaskPtr task = session->dataTask(request("/big?size=100000"));
    task->resume();
    ASSERT_TRUE(runMainLoopUntil([&] { return later != nullptr; }));
    std::thread([&] { later(ResponseDisposition::Allow); }).join();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->completions > 0; }));
    EXPECT_EQ(recorder_->body.size(), 100000u);
  }
  {
    // Cancelled while bytes arrive: nothing more but one cancelled completion.
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    TaskPtr task = session->dataTask(request("/big?size=8000000"));
    recorder_->onData = [&] { task->cancel(); };
    run(task);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "data", "error -999"}));
    EXPECT_LT(recorder_->body.size(), 8000000u);
  }
  {
    // A dropped answer cancels the task instead of leaving it hanging.
    recorder_ = std::make_shared<Recorder>();
    recorder_->onResponse = [](auto) {};
    auto session = makeSession();
    run(session->dataTask(request("/hello")));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "error -999"}));
  }
  {
    // Cancelled before it ran.
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    TaskPtr task = session->dataTask(request("/hello"));
    task->cancel();
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->completions > 0; }));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"error -999"}));
  }
}

TEST_P(URLSessionTest, LargeBodyArrivesWholeThroughASlowDelegate) {
  auto session = makeSession();
  const size_t size = 12 << 20;
  run(session->dataTask(request("/big?size=" + std::to_string(size))));
  ASSERT_EQ(recorder_->body.size(), size);
  for (size_t i = 0; i < size; i += 997) ASSERT_EQ(recorder_->body[i], 'a' + i % 26) << i;
}

TEST_P(URLSessionTest, CookiesStoredSentAndForeignDomainsRefused) {
  URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral();
  auto jar = configuration.cookieStorage;
  auto session = makeSession(configuration);
  run(session->dataTask(request("/set-cookie")));
  std::vector<HTTPCookie> stored = jar->cookies();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "session");
  EXPECT_EQ(stored[0].domain, "127.0.0.1");

  recorder_->completions = 0;
  recorder_->body.clear();
  run(session->dataTask(request("/cookies")));
  EXPECT_EQ(recorder_->text(), "session=abc");

  // A request that handles no cookies sends none; a session without a jar neither.
  recorder_->completions = 0;
  recorder_->body.clear();
  URLRequest bare = request("/cookies");
  bare.httpShouldHandleCookies = false;
  run(session->dataTask(bare));
  EXPECT_EQ(recorder_->text(), "");
}

TEST_P(URLSessionTest, HTTPAuthenticationChallenges) {
  {
    // Right credential on the second try: the first failure is counted.
    int answers = 0;
    recorder_->onChallenge = [&](const URLAuthenticationChallenge& challenge, auto completion) {
      EXPECT_EQ(challenge.protectionSpace.realm, "vault");
      EXPECT_EQ(challenge.protectionSpace.port, server_->port());
      ASSERT_TRUE(challenge.failureResponse);
      completion(AuthChallengeDisposition::UseCredential,
                 URLCredential::withUser("user", ++answers == 1 ? "wrong" : "secret"));
    };
    auto session = makeSession();
    run(session->dataTask(request("/private")));
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"challenge NSURLAuthenticationMethodHTTPBasic 0",
                                        "challenge NSURLAuthenticationMethodHTTPBasic 1",
                                        "response 200", "data", "done"}));
    EXPECT_EQ(recorder_->text(), "welcome");
  }
  {
    // Default handling: the 401 is the response.
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    run(session->dataTask(request("/private")));
    EXPECT_EQ(recorder_->response->statusCode, 401);
    EXPECT_EQ(recorder_->text(), "who are you");
  }
  {
    recorder_ = std::make_shared<Recorder>();
    recorder_->onChallenge = [](const auto&, auto completion) {
      completion(AuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
    };
    auto session = makeSession();
    run(session->dataTask(request("/private")));
    EXPECT_EQ(recorder_->error->code(), kURLErrorCancelled);
  }
}

TEST_P(URLSessionTest, DownloadTaskHandsOverAFileThenRemovesIt) {
  platform::testing::TempDir folder;
  recorder_->downloadedCopy = folder / "copy";
  URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral();
  configuration.downloadDirectory = folder.path();
  auto session = makeSession(configuration);
  URLRequest get = request("/big?size=300000");
  get.headers.set("Accept-Encoding", "identity");
  TaskPtr task = session->downloadTask(get);
  run(task);
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"written 300000", "downloaded", "done"}));
  EXPECT_EQ(std::filesystem::file_size(folder / "copy"), 300000u);
  EXPECT_FALSE(std::filesystem::exists(recorder_->downloadedCopy));
  EXPECT_EQ(task->response()->statusCode, 200);
}

// Cancelled once its file is written but before the delegate hears of it, a download reports
// only the cancel, and its file does not stay behind.
TEST_P(URLSessionTest, DownloadCancelledBeforeItsDeliveryLeavesNoFile) {
  platform::testing::TempDir folder;
  URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral();
  configuration.downloadDirectory = folder.path();
  auto queue = std::make_shared<HeldQueue>();
  auto session = URLSession::make(configuration, recorder_, queue);
  TaskPtr task = session->downloadTask(URLRequest(url("data:,downloaded")));
  task->resume();
  // Progress, the finished file and the completion.
  ASSERT_TRUE(runMainLoopUntil([&] { return queue->size() == 3; }));
  task->cancel();
  queue->runAll();
  EXPECT_EQ(recorder_->events,
            (std::vector<std::string>{"error " + std::to_string(kURLErrorCancelled)}));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// Bytes that can't reach the disk when the file is closed fail the download instead of handing
// over a short file.
TEST_P(URLSessionTest, DownloadThatCannotBeWrittenOutFails) {
  platform::testing::TempDir folder;
  URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral();
  configuration.downloadDirectory = folder.path();
  auto session = makeSession(configuration);
  URLRequest get = request("/big?size=2000");
  get.headers.set("Accept-Encoding", "identity");
  // A file-size limit below the body makes the final flush fail, as a full disk would; the
  // stream's buffer holds the whole body until then.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  run(session->downloadTask(get));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(recorder_->events,
            (std::vector<std::string>{"written 2000",
                                      "error " + std::to_string(kURLErrorCannotWriteToFile)}));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_P(URLSessionTest, DataURLsLoadWithoutANetwork) {
  auto session = makeSession();
  run(session->dataTask(URLRequest(url("data:text/plain;charset=utf-8;base64,aGk="))));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 0", "data", "done"}));
  EXPECT_EQ(recorder_->text(), "hi");
  EXPECT_FALSE(recorder_->response->isHTTP);
  EXPECT_EQ(recorder_->response->mimeType, "text/plain");
}

TEST_P(URLSessionTest, RequestsThatCannotBeSentFail) {
  struct Case {
    const char* name;
    URLRequest request;
    int64_t code;
  };
  URLRequest injected = request("/hello");
  injected.headers.set("X-Evil", "a\r\nX-Injected: 1");
  const Case cases[] = {
      {"no URL", URLRequest(), kURLErrorBadURL},
      {"other scheme", URLRequest(url("ftp://127.0.0.1/x")), kURLErrorUnsupportedURL},
      {"header with a line break", injected, kURLErrorBadURL},
      {"nobody listens", URLRequest(url("http://127.0.0.1:1/")), kURLErrorCannotConnectToHost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    run(session->dataTask(c.request));
    ASSERT_TRUE(recorder_->error);
    EXPECT_EQ(recorder_->error->domain(), kURLErrorDomain);
    EXPECT_EQ(recorder_->error->code(), c.code);
    EXPECT_EQ(recorder_->events.size(), 1u);
  }
}

// Servers that misbehave end each task with one error, never a hang or a second completion.
TEST_P(URLSessionTest, BadServersEndTheTaskWithOneError) {
  struct Case {
    const char* name;
    std::string reply;  // written after the request; the connection then closes (or is held)
    bool hold;
    int64_t code;
  };
  const Case cases[] = {
      {"garbage status line", "SPAM 200 whatever\r\n\r\nbody", false, kURLErrorBadServerResponse},
      {"no status line at all", "hello there\r\n", false, kURLErrorBadServerResponse},
      {"empty reply", "", false, kURLErrorNetworkConnectionLost},
      {"body cut mid-way", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part", false,
       kURLErrorNetworkConnectionLost},
      {"chunks cut mid-way", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", false,
       kURLErrorNetworkConnectionLost},
      {"garbage headers", "HTTP/1.1 200 OK\r\n\x01\x02:\r\n: x\r\nContent-Length: 2\r\n\r\nok",
       false, 0},
      {"never answers", "", true, kURLErrorTimedOut},
      {"head but no body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", true,
       kURLErrorTimedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer bad([&](ScriptedServer::Connection& connection) {
      connection.readRequest();
      connection.write(c.reply);
      if (c.hold) connection.hold();
    });
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    URLRequest get(url(bad.url("/")));
    get.timeoutInterval = 0.3;
    run(session->dataTask(get));
    if (c.code == 0) {
      EXPECT_EQ(recorder_->error, std::nullopt);
      EXPECT_EQ(recorder_->text(), "ok");
    } else {
      ASSERT_TRUE(recorder_->error);
      EXPECT_EQ(recorder_->error->code(), c.code);
    }
  }
}

// Time-outs run on the platform clock: a task whose server says nothing lives on until the
// interval has passed in virtual time, then fails once; the shorter of the idle interval and
// the whole leg's wins.
TEST_P(URLSessionTest, TimeOutsRunOnThePlatformClock) {
  struct Case {
    const char* name;
    double idle;      // the request's interval without bytes moving
    double resource;  // the configuration's interval for the whole leg
    double fires;
  };
  const Case cases[] = {{"idle", 30, 7 * 24 * 3600.0, 30}, {"whole leg", 1000, 40, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    std::atomic<int> requests{0};
    ScriptedServer silent([&](ScriptedServer::Connection& connection) {
      connection.readRequest();
      ++requests;
      connection.hold();
    });
    recorder_ = std::make_shared<Recorder>();
    URLSessionConfiguration configuration = URLSessionConfiguration::ephemeral();
    configuration.timeoutIntervalForResource = c.resource;
    auto session = makeSession(configuration);
    URLRequest get(url(silent.url("/")));
    get.timeoutInterval = c.idle;
    TaskPtr task = session->dataTask(get);
    task->resume();
    ASSERT_TRUE(runMainLoopUntil([&] { return requests == 1; }));
    clock.advanceSeconds(c.fires - 1);
    // The engine looks at its time-outs every few milliseconds under a manual clock.
    EXPECT_FALSE(runMainLoopUntil([&] { return recorder_->completions > 0; },
                                  std::chrono::milliseconds(50)));
    clock.advanceSeconds(2);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->completions > 0; }));
    ASSERT_TRUE(recorder_->error);
    EXPECT_EQ(recorder_->error->code(), kURLErrorTimedOut);
  }
}

TEST_P(URLSessionTest, InvalidationWaitsForTasksThenReleasesTheDelegate) {
  auto session = makeSession();
  TaskPtr task = session->dataTask(request("/hello"));
  task->resume();
  session->finishTasksAndInvalidate();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->invalid; }));
  EXPECT_EQ(recorder_->events,
            (std::vector<std::string>{"response 200", "data", "done", "invalid"}));
  EXPECT_EQ(session->delegate(), nullptr);
  // A task of an invalidated session fails at once.
  auto late = std::make_shared<Recorder>();
  TaskPtr after = session->dataTask(request("/hello"));
  after->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return after->state() == URLSessionTask::State::Completed; }));
  EXPECT_EQ(after->error()->code(), kURLErrorCancelled);
}

TEST_P(URLSessionTest, BackgroundSessionMadeAgainHasNoTasks) {
  auto first = makeSession(URLSessionConfiguration::background("com.example.transfers"));
  first->dataTask(request("/hello"));
  auto again = makeSession(URLSessionConfiguration::background("com.example.transfers"));
  std::optional<size_t> count;
  again->getAllTasks([&](std::vector<TaskPtr> tasks) { count = tasks.size(); });
  ASSERT_TRUE(runMainLoopUntil([&] { return count.has_value(); }));
  EXPECT_EQ(*count, 0u);
  EXPECT_EQ(again->configuration().identifier, "com.example.transfers");
}

class URLSessionTLSTest : public URLSessionTest {};

TEST_P(URLSessionTLSTest, SelfSignedCertificateFailsUnlessTheDelegateAcceptsIt) {
  HttpsServer secure;
  secure.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secret", "text/plain");
  });
  secure.start();
  {
    // Default handling refuses the untrusted certificate; the request is never sent.
    auto session = makeSession();
    run(session->dataTask(URLRequest(url(secure.url("/")))));
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"challenge NSURLAuthenticationMethodServerTrust 0",
                                        "error -1202"}));
  }
  {
    recorder_ = std::make_shared<Recorder>();
    std::optional<ServerTrust::Result> evaluation;
    recorder_->onChallenge = [&](const URLAuthenticationChallenge& challenge, auto completion) {
      ASSERT_TRUE(challenge.protectionSpace.serverTrust);
      evaluation = challenge.protectionSpace.serverTrust->evaluate();
      EXPECT_EQ(challenge.protectionSpace.serverTrust->certificateChain().size(), 1u);
      completion(AuthChallengeDisposition::UseCredential,
                 URLCredential::forTrust(challenge.protectionSpace.serverTrust));
    };
    auto session = makeSession();
    run(session->dataTask(URLRequest(url(secure.url("/")))));
    EXPECT_EQ(evaluation, ServerTrust::Result::RecoverableTrustFailure);
    EXPECT_EQ(recorder_->text(), "secret");
  }
  {
    recorder_ = std::make_shared<Recorder>();
    recorder_->onChallenge = [](const auto&, auto completion) {
      completion(AuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
    };
    auto session = makeSession();
    run(session->dataTask(URLRequest(url(secure.url("/")))));
    EXPECT_EQ(recorder_->error->code(), kURLErrorCancelled);
    // Why the certificate was refused goes along.
    const Value& underlying = recorder_->error->userInfo()[Error::kUnderlyingErrorKey];
    EXPECT_EQ(underlying["domain"].stringOr(""), kServerTrustErrorDomain);
    EXPECT_NE(underlying["userInfo"][Error::kDescriptionKey].stringOr("").find("self-signed"),
              std::string::npos)
        << underlying["userInfo"][Error::kDescriptionKey].stringOr("");
    EXPECT_NE(recorder_->error->userInfo()[Error::kFailureReasonKey].stringOr("").find("refused"),
              std::string::npos);
  }
}

TEST_P(URLSessionTLSTest, AddedAnchorIsTrustedForTheNamesOfItsCertificate) {
  HttpsServer secure;
  secure.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secret", "text/plain");
  });
  secure.start();
  ASSERT_TRUE(addTrustedAnchorCertificate(HttpsServer::certificatePEM()).ok());
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    recorder_ = std::make_shared<Recorder>();
    auto session = makeSession();
    run(session->dataTask(URLRequest(
        url("https://" + std::string(host) + ":" + std::to_string(secure.port()) + "/"))));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "data", "done"}));
  }
  // The evaluation checks the name too.
  BIO* bio = BIO_new_mem_buf(HttpsServer::certificatePEM().data(),
                             static_cast<int>(HttpsServer::certificatePEM().size()));
  X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  const Bytes chain(der, der + length);
  OPENSSL_free(der);
  X509_free(certificate);
  EXPECT_EQ(ServerTrust("localhost", {chain}).evaluate(), ServerTrust::Result::Unspecified);
  EXPECT_EQ(ServerTrust("127.0.0.2", {chain}).evaluate(),
            ServerTrust::Result::RecoverableTrustFailure);
  EXPECT_EQ(ServerTrust("example.com", {chain}).evaluate(),
            ServerTrust::Result::RecoverableTrustFailure);
  EXPECT_EQ(ServerTrust("localhost", {}).evaluate(), ServerTrust::Result::FatalTrustFailure);
  removeTrustedAnchorCertificates();
  recorder_ = std::make_shared<Recorder>();
  auto session = makeSession();
  run(session->dataTask(URLRequest(url(secure.url("/")))));
  EXPECT_EQ(recorder_->error->code(), kURLErrorServerCertificateUntrusted);
}

TEST_P(URLSessionTLSTest, SessionsAreResumedOnlyUnderTheTrustTheyWereMadeWith) {
  HttpsServer secure;
  secure.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  secure.start();
  // The server closes every connection: each task makes a new one, resumed or not.
  SSL_CTX* server = dynamic_cast<httplib::SSLServer&>(secure.routes()).ssl_context();
  const auto fetch = [&](bool acceptTheKey) {
    recorder_ = std::make_shared<Recorder>();
    if (acceptTheKey) {
      recorder_->onChallenge = [](const URLAuthenticationChallenge& challenge, auto completion) {
        completion(AuthChallengeDisposition::UseCredential,
                   URLCredential::forTrust(challenge.protectionSpace.serverTrust));
      };
    }
    run(makeSession()->dataTask(URLRequest(url(secure.url("/")))));
  };
  fetch(true);
  EXPECT_EQ(recorder_->text(), "ok");
  // The session made under the key the delegate accepted does not spare another task its check.
  fetch(false);
  EXPECT_EQ(recorder_->events,
            (std::vector<std::string>{"challenge NSURLAuthenticationMethodServerTrust 0",
                                      "error -1202"}));
  EXPECT_EQ(SSL_CTX_sess_hits(server), 0);
  fetch(true);
  EXPECT_EQ(recorder_->text(), "ok");
  EXPECT_EQ(SSL_CTX_sess_hits(server), 1) << "a task that accepted the same key resumes it";

  ASSERT_TRUE(addTrustedAnchorCertificate(HttpsServer::certificatePEM()).ok());
  fetch(false);
  fetch(false);
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"response 200", "data", "done"}));
  EXPECT_EQ(SSL_CTX_sess_hits(server), 2) << "the second trusted connection resumes the first";
  // Without the anchor, no session made under it is resumed.
  removeTrustedAnchorCertificates();
  fetch(false);
  EXPECT_EQ(recorder_->error->code(), kURLErrorServerCertificateUntrusted);
  EXPECT_EQ(SSL_CTX_sess_hits(server), 2);
}

TEST_P(URLSessionTLSTest, MinimumProtocolVersionIsEnforced) {
  HttpsServer secure;
  SSL_CTX_set_max_proto_version(dynamic_cast<httplib::SSLServer&>(secure.routes()).ssl_context(),
                                TLS1_2_VERSION);
  secure.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  secure.start();
  recorder_->onChallenge = [](const URLAuthenticationChallenge& challenge, auto completion) {
    completion(AuthChallengeDisposition::UseCredential,
               URLCredential::forTrust(challenge.protectionSpace.serverTrust));
  };
  auto session = makeSession();
  run(session->dataTask(URLRequest(url(secure.url("/")))));
  EXPECT_EQ(recorder_->text(), "ok");

  recorder_ = std::make_shared<Recorder>();
  URLSessionConfiguration tls13 = URLSessionConfiguration::ephemeral();
  tls13.minimumTLSVersion = TLSProtocolVersion::TLS13;
  session = makeSession(tls13);
  run(session->dataTask(URLRequest(url(secure.url("/")))));
  EXPECT_EQ(recorder_->error->code(), kURLErrorSecureConnectionFailed);
}

INSTANTIATE_TEST_SUITE_P(Engines, URLSessionTest,
                         ::testing::Values(Engine::MainLoop, Engine::NetworkThread), engineName);
INSTANTIATE_TEST_SUITE_P(Engines, URLSessionTLSTest,
                         ::testing::Values(Engine::MainLoop, Engine::NetworkThread), engineName);

}  // namespace
}  // namespace platform::net
