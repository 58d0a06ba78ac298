#include "platform/web/webkit/webkit_view.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>

#include "platform/dispatch/clock.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"
#include "platform/ui/view_controller.h"
#include "platform/web/web_errors.h"
#include "platform/web/webkit/engine_memory.h"
#include "platform/web/webkit/webkit_engine.h"

namespace platform::web {
namespace {

using platform::testing::runMainLoopUntil;

// Records what the web view tells its delegate; refuses what `policy` refuses.
class Recorder : public WebViewDelegate {
 public:
  std::vector<NavigationAction> actions;
  std::vector<std::string> events;  // "start", "finish", "fail <code>"
  std::vector<Error> errors;
  std::function<bool(const NavigationAction&)> policy;
  std::function<void(WebView&, const NavigationAction&)> onShouldStart;

  bool shouldStartLoad(WebView& view, const NavigationAction& action) override {
    actions.push_back(action);
    if (onShouldStart) onShouldStart(view, action);
    return !policy || policy(action);
  }
  void didStartLoad(WebView&) override { events.push_back("start"); }
  void didFinishLoad(WebView&) override { events.push_back("finish"); }
  void didFailLoad(WebView&, const Error& error) override {
    events.push_back("fail " + std::to_string(error.code()));
    errors.push_back(error);
  }
  size_t ends() const {
    return std::count_if(events.begin(), events.end(),
                         [](const std::string& e) { return e != "start"; });
  }
};

URLSchemeResponse response(int status, std::string mimeType, std::string_view body,
                           HeaderList headers = {}) {
  URLSchemeResponse answer;
  answer.statusCode = status;
  answer.mimeType = std::move(mimeType);
  answer.body = bytesOf(body);
  answer.headers = std::move(headers);
  return answer;
}

// A loopback TCP port: listening without ever answering, or closed.
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listen) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (listen) {
      ::listen(fd_, 4);
    } else {
      close(fd_);
      fd_ = -1;
    }
  }
  ~LoopbackPort() {
    if (fd_ >= 0) close(fd_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// One engine, window and web view for the whole group: a page process costs a good part of a
// second to start, so cases reset the page instead.
class WebKitViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto engine = makeWebKitEngine({});
    ASSERT_TRUE(engine.ok()) << engine.error().description();
    engine_ = *engine;
    ASSERT_TRUE(engine_->registerURLScheme("test", &WebKitViewTest::serve).ok());
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    view_ = engine_->createWebView({.frame = ui::Rect(0, 0, 400, 300)});
    gtk_container_add(GTK_CONTAINER(window_), nativeWidget(*view_));
    gtk_widget_show_all(window_);
  }

  static void TearDownTestSuite() {
    view_.reset();
    if (window_) gtk_widget_destroy(window_);
    window_ = nullptr;
    engine_.reset();
    pages_.clear();
  }

  void SetUp() override {
    ASSERT_TRUE(view_);
    // A fresh, empty page and a fresh delegate for every case.
    recorder_ = std::make_shared<Recorder>();
    view_->setDelegate(recorder_);
    view_->setCustomUserAgent("");
    view_->loadHTMLString("<html><body></body></html>", "test://app/blank.html");
    ASSERT_TRUE(waitForEnds(1));
    recorder_ = std::make_shared<Recorder>();
    view_->setDelegate(recorder_);
  }

  static GtkWidget* nativeWidget(WebView& view) {
    return dynamic_cast<ui::gtk::NativeWidget&>(view).nativeWidget();
  }

  static void serve(std::shared_ptr<URLSchemeTask> task) {
    const std::string& url = task->request().url;
    lastSchemeRequest_ = task->request();
    const std::string path = url.substr(0, url.find_first_of("?#"));
    if (path == "test://app/never") {
      pendingTasks_.push_back(task);  // answered by nobody until the group ends
      return;
    }
    if (path == "test://app/drop") return;
    if (path == "test://app/fail") {
      task->fail(Error::withDescription("TestSchemeDomain", 77, "served as a failure"));
      return;
    }
    if (path == "test://app/loop") {
      const int n = std::atoi(url.substr(url.find('?') + 1).c_str());
      task->respond(response(
          200, "text/html",
          "<script>location.replace('test://app/loop?" + std::to_string(n + 1) + "')</script>"));
      return;
    }
    auto page = pages_.find(path);
    task->respond(page != pages_.end() ? page->second : response(404, "text/plain", "not found"));
  }

  static void addPage(const std::string& url, const std::string& html) {
    pages_[url] = response(200, "text/html", html);
  }

  bool waitForEnds(size_t count, Duration timeout = seconds(15)) {
    return runMainLoopUntil([&] { return recorder_->ends() >= count; }, timeout);
  }

  // Loads a page of the test scheme and waits for its end.
  bool load(const std::string& url) {
    const size_t before = recorder_->ends();
    view_->loadRequest(URLRequest(url));
    return waitForEnds(before + 1);
  }

  std::string eval(const std::string& script) {
    Result<std::string> result = view_->evaluateJavaScriptSync(script);
    return result.ok() ? result.value() : "error: " + result.error().description();
  }

  static inline std::shared_ptr<WebEngine> engine_;
  static inline GtkWidget* window_ = nullptr;
  static inline std::shared_ptr<WebView> view_;
  static inline std::map<std::string, URLSchemeResponse> pages_;
  static inline std::vector<std::shared_ptr<URLSchemeTask>> pendingTasks_;
  static inline URLRequest lastSchemeRequest_;
  std::shared_ptr<Recorder> recorder_;
};

TEST_F(WebKitViewTest, LoadsHTMLWithOneStartAndFinish) {
  view_->loadHTMLString("<title>Hello</title><p id=p>text</p>", "test://app/hello.html");
  ASSERT_TRUE(waitForEnds(1));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
  ASSERT_EQ(recorder_->actions.size(), 1u);
  EXPECT_EQ(recorder_->actions[0].request.url, "test://app/hello.html");
  EXPECT_EQ(recorder_->actions[0].request.mainDocumentURL, "test://app/hello.html");
  EXPECT_TRUE(recorder_->actions[0].mainFrame);
  EXPECT_EQ(view_->url(), "test://app/hello.html");
  EXPECT_TRUE(runMainLoopUntil([&] { return view_->title() == "Hello"; }));
  EXPECT_EQ(eval("document.getElementById('p').textContent"), "text");
  EXPECT_FALSE(view_->isLoading());
}

TEST_F(WebKitViewTest, ScriptResultsBecomeText) {
  struct Case {
    std::string script;
    std::string text;       // expected text when the script succeeds
    int64_t errorCode = 0;  // expected error code otherwise
  };
  const std::vector<Case> cases = {
      {"'plain'", "plain"},
      {"1 + 1", "2"},
      {"1.5", "1.5"},
      {"1e21", "1e+21"},
      {"true", "true"},
      {"undefined", ""},
      {"null", ""},
      {"({a: 1})", "[object Object]"},
      {"[1, 'b']", "1,b"},
      {"'a\\u0000b'", std::string("a\0b", 3)},
      {"'\\u00e9\\u4e2d'", "\xc3\xa9\xe4\xb8\xad"},
      {"throw new Error('boom')", "", kWebViewErrorScriptException},
      {"(function () {})", "", kWebViewErrorUnsupportedResult},
      {"Symbol('s')", "", kWebViewErrorUnsupportedResult},
      {"syntax error here", "", kWebViewErrorScriptException},
  };
  for (const Case& c : cases) {
    Result<std::string> sync = view_->evaluateJavaScriptSync(c.script);
    std::optional<Result<std::string>> async;
    view_->evaluateJavaScript(c.script, [&](Result<std::string> r) { async = std::move(r); });
    ASSERT_TRUE(runMainLoopUntil([&] { return async.has_value(); }));
    for (const Result<std::string>* r : {&sync, &*async}) {
      if (c.errorCode == 0) {
        ASSERT_TRUE(r->ok()) << c.script << ": " << r->error().description();
        EXPECT_EQ(r->value(), c.text) << c.script;
      } else {
        ASSERT_FALSE(r->ok()) << c.script;
        EXPECT_EQ(r->error().domain(), kWebViewErrorDomain);
        EXPECT_EQ(r->error().code(), c.errorCode) << c.script;
      }
    }
  }
  // Results of any size come through whole.
  Result<std::string> big = view_->evaluateJavaScriptSync("'x'.repeat(4 << 20)");
  ASSERT_TRUE(big.ok());
  EXPECT_EQ(big->size(), 4u << 20);
}

TEST_F(WebKitViewTest, RefusedNavigationsNeverLoad) {
  addPage("test://app/refuse.html", "<p id=loaded>refused page</p>");
  addPage("test://app/start.html",
          "<a id=link href='refuse.html'>go</a><iframe id=f src='refuse.html'></iframe>");
  recorder_->policy = [](const NavigationAction& a) {
    return a.request.url.find("refuse") == std::string::npos;
  };
  ASSERT_TRUE(load("test://app/start.html"));
  // The frame's navigation was asked about as a frame's, and refused.
  auto frameAction = std::find_if(recorder_->actions.begin(), recorder_->actions.end(),
                                  [](const auto& a) { return !a.mainFrame; });
  ASSERT_NE(frameAction, recorder_->actions.end());
  EXPECT_EQ(frameAction->request.url, "test://app/refuse.html");
  EXPECT_EQ(frameAction->request.mainDocumentURL, "test://app/start.html");

  const size_t asked = recorder_->actions.size();
  eval("document.getElementById('link').click()");
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->actions.size() > asked; }));
  EXPECT_EQ(recorder_->actions.back().type, NavigationType::LinkClicked);
  // Nothing of the refused page ever loads: another round trip to the page finds it unchanged.
  EXPECT_EQ(eval("location.href"), "test://app/start.html");
  EXPECT_EQ(eval("document.getElementById('f').contentDocument.body.innerHTML"), "");
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(view_->url(), "test://app/start.html");

  // A refused load of the view's own leaves no timer behind to report it failed later.
  ManualClock clock;
  const size_t before = recorder_->actions.size();
  view_->loadRequest(URLRequest("test://app/refuse.html", 20.0));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->actions.size() > before; }));
  clock.advanceSeconds(60);
  EXPECT_EQ(eval("location.href"), "test://app/start.html");
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
}

TEST_F(WebKitViewTest, APageOwnNavigationIsAskedAsFrameThenAsTopLevel) {
  addPage("test://app/a.html", "<a id=link href='b.html'>b</a>");
  addPage("test://app/b.html", "<p>b</p>");
  addPage("test://app/c.html", "<p>c</p>");
  ASSERT_TRUE(load("test://app/a.html"));
  recorder_->actions.clear();
  recorder_->events.clear();

  eval("document.getElementById('link').click()");
  ASSERT_TRUE(waitForEnds(1));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
  ASSERT_EQ(recorder_->actions.size(), 2u);
  EXPECT_FALSE(recorder_->actions[0].mainFrame);
  EXPECT_EQ(recorder_->actions[0].request.mainDocumentURL, "test://app/a.html");
  EXPECT_TRUE(recorder_->actions[1].mainFrame);
  for (const auto& action : recorder_->actions) {
    EXPECT_EQ(action.request.url, "test://app/b.html");
    EXPECT_EQ(action.type, NavigationType::LinkClicked);
  }
  EXPECT_EQ(view_->url(), "test://app/b.html");

  // Refused when asked as top-level: stopped before anything shows, and no event follows.
  recorder_->events.clear();
  recorder_->policy = [](const NavigationAction& a) { return !a.mainFrame; };
  eval("location.href = 'c.html'");
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->actions.size() >= 4; }));
  EXPECT_EQ(eval("location.href"), "test://app/b.html");
  EXPECT_TRUE(runMainLoopUntil([&] { return !view_->isLoading(); }));
  EXPECT_TRUE(recorder_->events.empty());
}

TEST_F(WebKitViewTest, ALinkForANewWindowLoadsHereAskedOnceAsTopLevel) {
  addPage("test://app/opener.html", "<a id=link target=_blank href='opened.html'>new</a>");
  addPage("test://app/opened.html", "<p>opened</p>");
  ASSERT_TRUE(load("test://app/opener.html"));
  recorder_->actions.clear();
  recorder_->events.clear();
  eval("document.getElementById('link').click()");
  ASSERT_TRUE(waitForEnds(1));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
  ASSERT_EQ(recorder_->actions.size(), 1u);
  EXPECT_TRUE(recorder_->actions[0].mainFrame);
  EXPECT_EQ(recorder_->actions[0].type, NavigationType::LinkClicked);
  EXPECT_EQ(view_->url(), "test://app/opened.html");
}

TEST_F(WebKitViewTest, HTTPLoadsSendTheRequestHeadersAndUserAgent) {
  platform::testing::HttpServer server;
  platform::Mutex mutex;
  std::string host, agent;
  server.routes().Get("/page", [&](const httplib::Request& request, httplib::Response& response) {
    platform::MutexLock lock(mutex);
    host = request.get_header_value("X-Host");
    agent = request.get_header_value("User-Agent");
    response.set_content("<p>served</p>", "text/html");
  });
  server.start();
  view_->setCustomUserAgent("VokaruTest/2.0");
  URLRequest request(server.url("/page"));
  request.headers = {{"X-Host", "ads.example"}};
  view_->loadRequest(request);
  ASSERT_TRUE(waitForEnds(recorder_->ends() + 1));
  EXPECT_EQ(recorder_->events.back(), "finish");
  platform::MutexLock lock(mutex);
  EXPECT_EQ(host, "ads.example");
  EXPECT_EQ(agent, "VokaruTest/2.0");
}

TEST_F(WebKitViewTest, AnUntrustedCertificateFailsTheLoad) {
  platform::testing::HttpsServer server;
  server.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<p>secret</p>", "text/html");
  });
  server.start();
  ASSERT_TRUE(load(server.url("/")));
  // The page never shows. (Rarely, on a loaded machine, the engine reports the refused
  // connection as cancelled rather than by its certificate.)
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].domain(), kURLErrorDomain);
  EXPECT_THAT(recorder_->errors[0].code(),
              ::testing::AnyOf(kURLErrorServerCertificateUntrusted, kURLErrorCancelled));
  EXPECT_NE(eval("document.body ? document.body.textContent : ''"), "secret");
}

TEST_F(WebKitViewTest, ScaleToFitZoomsAWidePageOutToTheViewWidth) {
  addPage("test://app/wide.html", "<body style='margin:0'><div style='width:1200px'>w</div>");
  WebViewSettings settings = view_->settings();
  settings.scalesPageToFit = true;
  view_->setSettings(settings);
  ASSERT_TRUE(load("test://app/wide.html"));
  EXPECT_TRUE(runMainLoopUntil([&] { return eval("window.innerWidth") == "1200"; }));
  settings.scalesPageToFit = false;
  view_->setSettings(settings);
  EXPECT_TRUE(runMainLoopUntil([&] { return eval("window.innerWidth") == "400"; }));
}

TEST_F(WebKitViewTest, CustomSchemeServesPageImageStatusAndHeaders) {
  pages_["test://app/pixel.png"] =
      response(200, "", platform::testing::pngOf(2, 1, 0x00ff00ff));  // type from the name
  pages_["test://app/teapot"] = response(418, "text/plain", "short", {{"X-Test", "yes"}});
  addPage("test://app/image.html", "<img id=img src='pixel.png'>");
  ASSERT_TRUE(load("test://app/image.html"));
  EXPECT_EQ(recorder_->events.back(), "finish");
  EXPECT_EQ(eval("document.getElementById('img').naturalWidth"), "2");

  std::string answer;
  view_->evaluateJavaScript(
      "fetch('test://app/teapot').then(r => r.text().then(t => "
      "  document.title = r.status + ' ' + r.headers.get('X-Test') + ' ' + t))",
      nullptr);
  ASSERT_TRUE(runMainLoopUntil([&] { return view_->title() != ""; }));
  EXPECT_EQ(view_->title(), "418 yes short");
  EXPECT_EQ(lastSchemeRequest_.url, "test://app/teapot");
  EXPECT_EQ(lastSchemeRequest_.httpMethod, "GET");
}

TEST_F(WebKitViewTest, SchemeFailuresAndDroppedTasksFailTheLoad) {
  struct Case {
    std::string url;
    std::string domain;
    int64_t code;
  };
  for (const Case& c : {Case{"test://app/fail", "TestSchemeDomain", 77},
                        Case{"test://app/drop", kURLErrorDomain, kURLErrorResourceUnavailable}}) {
    recorder_->errors.clear();
    ASSERT_TRUE(load(c.url)) << c.url;
    ASSERT_EQ(recorder_->errors.size(), 1u) << c.url;
    EXPECT_EQ(recorder_->errors[0].domain(), c.domain);
    EXPECT_EQ(recorder_->errors[0].code(), c.code);
    EXPECT_EQ(recorder_->errors[0].userInfo()[kURLErrorFailingURLStringKey].stringOr(""), c.url);
  }
}

TEST_F(WebKitViewTest, UnreachableURLsReportTheirFailure) {
  LoopbackPort closed(false);
  struct Case {
    std::string url;
    int64_t code;
  };
  for (const Case& c : {Case{closed.url(), kURLErrorCannotConnectToHost},
                        Case{"file:///nonexistent/vokaru", kURLErrorFileDoesNotExist},
                        Case{"nosuchscheme://x", kURLErrorUnsupportedURL}}) {
    recorder_->events.clear();
    recorder_->errors.clear();
    ASSERT_TRUE(load(c.url)) << c.url;
    ASSERT_EQ(recorder_->errors.size(), 1u) << c.url;
    EXPECT_EQ(recorder_->errors[0].domain(), kURLErrorDomain) << c.url;
    EXPECT_EQ(recorder_->errors[0].code(), c.code)
        << c.url << " " << recorder_->errors[0].description();
    // No error page replaces the previous one, and no finish follows the failure.
    EXPECT_EQ(recorder_->events.back(), "fail " + std::to_string(c.code));
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return !view_->isLoading(); }));
  EXPECT_EQ(recorder_->ends(), 1u);
}

// The time-out is the request's: once the page's own document has arrived, a subresource that
// never comes does not turn the page into a failure.
TEST_F(WebKitViewTest, TheTimeoutEndsOnceThePagesDocumentHasArrived) {
  ManualClock clock;
  addPage("test://app/slow-image.html", "<p id=p>here</p><img src=\"test://app/never\">");
  view_->loadRequest(URLRequest("test://app/slow-image.html", 20.0));
  ASSERT_TRUE(
      runMainLoopUntil([&] { return eval("document.getElementById('p') ? 1 : 0") == "1"; }));
  clock.advanceSeconds(60);
  platform::testing::drainMainLoop();
  EXPECT_TRUE(recorder_->errors.empty());
  EXPECT_EQ(eval("document.getElementById('p').textContent"), "here");
  view_->stopLoading();
  ASSERT_TRUE(runMainLoopUntil([&] { return !view_->isLoading(); }));
}

TEST_F(WebKitViewTest, ALoadThatOutlivesItsTimeoutIsStoppedAndReported) {
  ManualClock clock;
  LoopbackPort silent(true);  // accepts connections, never answers
  view_->loadRequest(URLRequest(silent.url(), 20.0));
  ASSERT_TRUE(runMainLoopUntil([&] { return !recorder_->events.empty(); }));
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start"}));
  clock.advanceSeconds(19.5);
  EXPECT_EQ(recorder_->ends(), 0u);
  clock.advanceSeconds(0.5);
  ASSERT_EQ(recorder_->errors.size(), 1u);
  EXPECT_EQ(recorder_->errors[0].domain(), kURLErrorDomain);
  EXPECT_EQ(recorder_->errors[0].code(), kURLErrorTimedOut);
  EXPECT_EQ(recorder_->errors[0].userInfo()[kURLErrorFailingURLStringKey].stringOr(""),
            silent.url());
  // The engine's own cancellation of the stopped load is not reported on top.
  EXPECT_TRUE(runMainLoopUntil([&] { return !view_->isLoading(); }));
  EXPECT_EQ(eval("1"), "1");
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "fail -1001"}));

  // A load that finishes in time cancels its timer.
  ASSERT_TRUE(load("test://app/blank.html"));
  clock.advanceSeconds(60);
  EXPECT_EQ(recorder_->events.back(), "finish");

  // Stopping a load reports it cancelled, and its timer goes with it.
  view_->loadRequest(URLRequest(silent.url(), 20.0));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->events.back() == "start"; }));
  view_->stopLoading();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->events.back() != "start"; }));
  EXPECT_EQ(recorder_->events.back(), "fail -999");
  clock.advanceSeconds(60);
  EXPECT_EQ(recorder_->events.back(), "fail -999");
}

TEST_F(WebKitViewTest, SyncEvaluationLetsOtherMainLoopWorkRun) {
  int ticks = 0;
  guint source = g_timeout_add(
      5,
      [](gpointer t) -> gboolean {
        ++*static_cast<int*>(t);
        return G_SOURCE_CONTINUE;
      },
      &ticks);
  Result<std::string> slow = view_->evaluateJavaScriptSync(
      "var end = Date.now() + 150; while (Date.now() < end) {} 'done'");
  g_source_remove(source);
  ASSERT_TRUE(slow.ok());
  EXPECT_EQ(slow.value(), "done");
  EXPECT_GT(ticks, 3);

  // Also from main-queue work, whose own source is not re-entered meanwhile.
  std::optional<Result<std::string>> fromQueue;
  mainQueue()->async([&] { fromQueue = view_->evaluateJavaScriptSync("6 * 7"); });
  ASSERT_TRUE(runMainLoopUntil([&] { return fromQueue.has_value(); }));
  ASSERT_TRUE(fromQueue->ok());
  EXPECT_EQ(fromQueue->value(), "42");
}

TEST_F(WebKitViewTest, SyncEvaluationDuringADecisionAnswersWithoutWaiting) {
  addPage("test://app/jump.html", "<a id=link href='other.html'>o</a><p id=b>b</p>");
  addPage("test://app/other.html", "<p>other</p>");
  ASSERT_TRUE(load("test://app/jump.html"));
  std::vector<std::pair<std::string, double>> answers;  // location.href, seconds taken
  recorder_->onShouldStart = [&](WebView& view, const NavigationAction&) {
    const auto start = std::chrono::steady_clock::now();
    Result<std::string> href = view.evaluateJavaScriptSync("location.href");
    answers.emplace_back(
        href.ok() ? href.value() : "",
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  };
  // An in-page jump: the page waits for the decision, so no script can run; the answer is an
  // error at once rather than after the time limit.
  view_->evaluateJavaScript("location.hash = 'b'", nullptr);
  ASSERT_TRUE(runMainLoopUntil([&] { return answers.size() == 1; }));
  EXPECT_EQ(answers[0].first, "");
  EXPECT_LT(answers[0].second, 1.0);
  // A navigation to another page: the page still answers.
  eval("document.getElementById('link').click()");
  ASSERT_TRUE(waitForEnds(1));
  ASSERT_GE(answers.size(), 2u);
  EXPECT_EQ(answers[1].first, "test://app/jump.html#b");
}

TEST_F(WebKitViewTest, PagesThatNavigateInALoopLeaveTheShellResponsive) {
  ASSERT_TRUE(load("test://app/loop?0"));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder_->ends() >= 20; }));
  view_->stopLoading();
  view_->loadHTMLString("<p>calm</p>", "test://app/calm.html");
  EXPECT_TRUE(runMainLoopUntil([&] { return eval("document.body.textContent") == "calm"; }));
}

// A closing view asks WebKit for this; were the call not found, it would silently do nothing.
TEST(EngineMemoryTest, TheInstalledWebKitHandsFreedMemoryBackOnRequest) {
  EXPECT_TRUE(releaseEngineFreeMemory());
}

TEST_F(WebKitViewTest, UserAgentPerViewAndEngineDefault) {
  EXPECT_EQ(view_->userAgent(), engine_->defaultUserAgent());
  EXPECT_EQ(eval("navigator.userAgent"), engine_->defaultUserAgent());
  view_->setCustomUserAgent("VokaruTest/1.0 (tagged)");
  ASSERT_TRUE(load("test://app/blank.html"));
  EXPECT_EQ(eval("navigator.userAgent"), "VokaruTest/1.0 (tagged)");
  EXPECT_EQ(view_->userAgent(), "VokaruTest/1.0 (tagged)");
}

TEST_F(WebKitViewTest, HistoryBackAndForward) {
  addPage("test://app/one.html", "<p>1</p>");
  addPage("test://app/two.html", "<p>2</p>");
  ASSERT_TRUE(load("test://app/one.html"));
  ASSERT_TRUE(load("test://app/two.html"));
  EXPECT_TRUE(view_->canGoBack());
  EXPECT_FALSE(view_->canGoForward());
  recorder_->actions.clear();
  const size_t ends = recorder_->ends();
  view_->goBack();
  ASSERT_TRUE(waitForEnds(ends + 1));
  EXPECT_EQ(view_->url(), "test://app/one.html");
  EXPECT_TRUE(view_->canGoForward());
  ASSERT_FALSE(recorder_->actions.empty());
  EXPECT_EQ(recorder_->actions[0].type, NavigationType::BackForward);
  EXPECT_TRUE(recorder_->actions[0].mainFrame);
}

TEST_F(WebKitViewTest, SnapshotShowsThePage) {
  view_->loadHTMLString("<body style='margin:0;background:rgb(255,0,0)'></body>",
                        "test://app/red.html");
  ASSERT_TRUE(waitForEnds(1));
  // The first frame may not be painted the moment the load finishes: ask until it is. Answers
  // land in shared state, as one may come after the test gave up.
  struct Shots {
    bool waiting = false;
    std::optional<ui::Image> last;
  };
  auto shots = std::make_shared<Shots>();
  ASSERT_TRUE(runMainLoopUntil([&] {
    if (shots->last && shots->last->pixel(200, 150) == 0xff0000ffu) return true;
    if (!shots->waiting) {
      shots->waiting = true;
      view_->snapshot([shots](Result<ui::Image> image) {
        shots->waiting = false;
        if (image.ok()) shots->last = std::move(image.value());
      });
    }
    return false;
  }));
  EXPECT_EQ(shots->last->width, 400);
}

TEST_F(WebKitViewTest, RelatedViewSharesTheEngine) {
  auto related = engine_->createWebView({.frame = ui::Rect(0, 0, 100, 100), .relatedView = view_});
  auto recorder = std::make_shared<Recorder>();
  related->setDelegate(recorder);
  related->loadHTMLString("<p>related</p>", "test://app/related.html");
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->ends() == 1; }));
  EXPECT_EQ(recorder->events.back(), "finish");
  EXPECT_EQ(related->evaluateJavaScriptSync("document.body.textContent").valueOr(""), "related");
}

TEST_F(WebKitViewTest, TheRendererPlacesAWebViewInItsWindow) {
  ui::Application::resetShared();
  auto renderer = ui::gtk::Renderer::install();
  ASSERT_TRUE(renderer.ok());
  auto window = std::make_shared<ui::Window>(ui::Rect(0, 0, 300, 200));
  auto root = std::make_shared<ui::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  auto web = engine_->createWebView({.frame = ui::Rect(0, 0, 300, 200), .relatedView = view_});
  web->setAutoresizingMask(ui::kFlexibleWidth | ui::kFlexibleHeight);
  root->view()->addSubview(web);
  EXPECT_EQ((*renderer)->widget(*web), nativeWidget(*web));

  auto recorder = std::make_shared<Recorder>();
  web->setDelegate(recorder);
  web->loadHTMLString("<body style='margin:0;background:rgb(0,0,255)'></body>",
                      "test://app/blue.html");
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->ends() == 1; }));
  auto blue = std::make_shared<std::optional<uint32_t>>();
  auto waiting = std::make_shared<bool>(false);
  EXPECT_TRUE(runMainLoopUntil([&] {
    if (*blue == 0x0000ffffu) return true;
    if (!*waiting) {
      *waiting = true;
      web->snapshot([blue, waiting](Result<ui::Image> image) {
        *waiting = false;
        if (image.ok()) *blue = image->pixel(150, 100);
      });
    }
    return false;
  }));
  web->removeFromSuperview();
  renderer->reset();
  ui::Application::resetShared();
}

// A page that never answers: the synchronous evaluation gives up in time. The hung page gets a
// process of its own, which the test ends.
TEST_F(WebKitViewTest, SyncEvaluationOfAHungPageGivesUp) {
  auto hung = engine_->createWebView({.frame = ui::Rect(0, 0, 100, 100)});
  auto recorder = std::make_shared<Recorder>();
  hung->setDelegate(recorder);
  hung->loadHTMLString("<p>hang</p>", "test://app/hang.html");
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->ends() == 1; }));
  hung->evaluateJavaScript("while (true) {}", nullptr);
  const auto start = std::chrono::steady_clock::now();
  Result<std::string> answer = hung->evaluateJavaScriptSync("1", std::chrono::milliseconds(300));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_FALSE(answer.ok());
  EXPECT_EQ(answer.error().code(), kWebViewErrorScriptTimedOut);
  EXPECT_LT(waited, 2.0);
  webkit_web_view_terminate_web_process(dynamic_cast<WebKitView&>(*hung).webKitView());
}

TEST(WebKitEngineTest, StoresUnderTheAppHome) {
  platform::testing::TestApp app;
  const std::filesystem::path& home = app.appHome();
  const auto configuration = WebKitEngineConfiguration::forCurrentApp();
  EXPECT_EQ(configuration.localStorageDirectory, home / "Library/Caches");
  EXPECT_EQ(configuration.cookieFile, home / "Library/Cookies/Cookies.sqlite");
  auto engine = makeWebKitEngine(configuration);
  ASSERT_TRUE(engine.ok());
  auto view = (*engine)->createWebView({});
  platform::testing::writeFile(home / "www/index.html", "<p>home</p>");
  auto recorder = std::make_shared<Recorder>();
  view->setDelegate(recorder);
  view->loadRequest(URLRequest("file://" + (home / "www/index.html").string()));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->ends() == 1; }));
  ASSERT_EQ(recorder->events.back(), "finish");
  ASSERT_TRUE(view->evaluateJavaScriptSync("localStorage.setItem('k', 'v'); 'ok'").ok());
  // Where the web storage backup looks for it.
  EXPECT_TRUE(runMainLoopUntil(
      [&] { return std::filesystem::exists(home / "Library/Caches/file__0.localstorage"); },
      seconds(10)));
}

}  // namespace
}  // namespace platform::web
