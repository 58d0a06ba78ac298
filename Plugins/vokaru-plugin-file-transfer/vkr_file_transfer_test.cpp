#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/storage/app_home.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using platform::testing::HttpServer;
using platform::testing::HttpsServer;
using platform::testing::ScriptedServer;
using vokaru::testing::RecordingCommandDelegate;

constexpr const char* kBoundary = "+++++org.vokaru.formBoundary";

std::string contentOf(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// A request as a scripted server read it: the head's lines and the body.
struct ReceivedRequest {
  std::string head;
  std::string body;
  std::string header(const std::string& name) const {
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const size_t start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
  }
};

// A server that keeps the one request it got and answers it with the response given.
class RecordingServer {
 public:
  explicit RecordingServer(std::string response)
      : server_([this, response = std::move(response)](ScriptedServer::Connection& connection) {
          const std::string request = connection.readRequest();
          const size_t split = request.find("\r\n\r\n");
          {
            platform::MutexLock lock(mutex_);
            received_.head = request.substr(0, split + 2);
            received_.body = split == std::string::npos ? "" : request.substr(split + 4);
          }
          connection.write(response);
        }) {}
  std::string url() const { return server_.url("/upload"); }
  ReceivedRequest received() const {
    platform::MutexLock lock(mutex_);
    return received_;
  }

 private:
  mutable platform::Mutex mutex_;
  ReceivedRequest received_ VKR_GUARDED_BY(mutex_);
  ScriptedServer server_;
};

std::string response(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) +
         " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

class VKRFileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_->setCommandDelegate(delegate_);
    file_->pluginInitialize();
    delegate_->setPlugin("File", file_);
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }

  // Runs the action; answers its final result and every progress event before it.
  struct Outcome {
    VKRPluginResult result;
    std::vector<Dictionary> progress;
  };
  Outcome run(const std::string& action, Value::Array arguments) {
    start(action, std::move(arguments));
    return finish();
  }
  void start(const std::string& action, Value::Array arguments, std::string callbackId = "T1") {
    EXPECT_TRUE(plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), callbackId, "FileTransfer", action)));
  }
  // Waits for the final answer of the callback.
  Outcome finish(const std::string& callbackId = "T1") {
    Outcome outcome;
    const auto answered = [&] {
      outcome = Outcome();
      bool done = false;
      for (const auto& sent : delegate_->sent()) {
        if (sent.callbackId != callbackId) continue;
        EXPECT_FALSE(done) << "answered after the final answer";
        if (sent.result.keepCallback()) {
          outcome.progress.push_back(*sent.result.message().dictionaryIf());
        } else {
          outcome.result = sent.result;
          done = true;
        }
      }
      return done;
    };
    EXPECT_TRUE(platform::testing::runMainLoopUntil(answered)) << callbackId;
    return outcome;
  }
  // The answers sent to the callback so far.
  size_t answersTo(const std::string& callbackId) const {
    size_t count = 0;
    for (const auto& sent : delegate_->sent()) count += sent.callbackId == callbackId ? 1 : 0;
    return count;
  }

  fs::path write(const std::string& name, const std::string& bytes) {
    const fs::path path = platform::AppHome::documents() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string vkrfileURL(const fs::path& path) {
    return file_->fileSystemURLforLocalPath(path.string())->absoluteURL();
  }

  static Value upload(const std::string& source, const std::string& server, Value parameters,
                      Value headers, bool chunked = true, Value objectId = "up1") {
    return Value::array({source, server, "file", "photo.jpg", "image/jpeg", std::move(parameters),
                         false, chunked, std::move(headers), std::move(objectId), "POST"});
  }

  platform::testing::TestApp app_;
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRFile> file_ = std::make_shared<VKRFile>(nullptr);
  std::shared_ptr<VKRFileTransfer> plugin_ = std::make_shared<VKRFileTransfer>(nullptr);
};

int64_t valueOf(const Dictionary& dictionary, const char* key) {
  return dictionary.find(key) ? dictionary.find(key)->intOr(-99) : -99;
}

Value errorField(const VKRPluginResult& result, const char* key) {
  const Dictionary* object = result.message().dictionaryIf();
  const Value* value = object ? object->find(key) : nullptr;
  return value ? *value : Value("<missing>");
}

// Progress events rise and end at the total.
void expectProgressToTotal(const std::vector<Dictionary>& progress, int64_t total) {
  ASSERT_FALSE(progress.empty());
  int64_t last = 0;
  for (const Dictionary& event : progress) {
    EXPECT_EQ(*event.find("lengthComputable"), Value(true));
    EXPECT_GE(valueOf(event, "loaded"), last);
    EXPECT_EQ(valueOf(event, "total"), total);
    last = valueOf(event, "loaded");
  }
  EXPECT_EQ(last, total);
}

TEST_F(VKRFileTransferTest, MultipartUploadsArriveByteExactStreamedOrWhole) {
  const std::string file(100000, 'x');
  const std::string source = vkrfileURL(write("up.bin", file));
  const std::string expected =
      std::string("--") + kBoundary +
      "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + kBoundary +
      "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"photo.jpg\"\r\n"
      "Content-Type: image/jpeg\r\nContent-Length: 100000\r\n\r\n" +
      file + "\r\n--" + kBoundary + "--\r\n";
  for (bool chunked : {true, false}) {
    SCOPED_TRACE(chunked ? "streamed" : "whole");
    delegate_->clear();
    RecordingServer server(response(201, "ok"));
    Outcome outcome =
        run("upload", *upload(source, server.url(),
                              Value::dictionary({{"a", 1}, {"__cookie", "k=v"}}), nullptr, chunked)
                           .arrayIf());
    ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
    const Dictionary& answer = *outcome.result.message().dictionaryIf();
    EXPECT_EQ(*answer.find("response"), Value("ok"));
    EXPECT_EQ(*answer.find("responseCode"), Value(201));
    EXPECT_GE(valueOf(answer, "bytesSent"), int64_t(expected.size()));
    expectProgressToTotal(outcome.progress, int64_t(expected.size()));

    ReceivedRequest received = server.received();
    EXPECT_TRUE(received.body == expected) << received.body.substr(0, 300);
    EXPECT_EQ(received.header("Cookie"), "k=v");
    EXPECT_EQ(received.header("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(received.header("Content-Type"),
              std::string("multipart/form-data; boundary=") + kBoundary);
    EXPECT_EQ(received.header("X-Requested-With"), "XMLHttpRequest");
    EXPECT_EQ(received.header("User-Agent"), "RecordingCommandDelegate");
    EXPECT_EQ(received.head.find("Transfer-Encoding"), std::string::npos);
  }
  EXPECT_TRUE(plugin_->activeTransferIds().empty());
}

TEST_F(VKRFileTransferTest, RawUploadsSendTheFileAloneWithThePagesHeaders) {
  const std::string file = "raw bytes \x01\x02";
  const fs::path path = write("raw.bin", file);
  for (bool chunked : {true, false}) {
    SCOPED_TRACE(chunked ? "streamed" : "whole");
    delegate_->clear();
    RecordingServer server(response(200, "fine"));
    Value headers = Value::dictionary({{"Content-Type", "application/octet-stream"},
                                       {"X-List", Value::array({1, "a"})},
                                       {"X-Null", nullptr}});
    Outcome outcome =
        run("upload", *upload(path.string(), server.url(),
                              Value::dictionary({{"ignored", "field"}}), headers, chunked)
                           .arrayIf());
    ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
    ReceivedRequest received = server.received();
    EXPECT_EQ(received.body, file);
    EXPECT_EQ(received.header("Content-Length"), std::to_string(file.size()));
    EXPECT_EQ(received.header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(received.header("X-List"), "1, a");
    EXPECT_EQ(received.header("X-Null"), "null");
  }
}

TEST_F(VKRFileTransferTest, DataURLSourcesAndQuotesInNames) {
  RecordingServer server(response(200, ""));
  Value args = upload("data:text/plain;base64,QUI=", server.url(), nullptr, nullptr);
  Value::Array arguments = *args.arrayIf();
  arguments[3] = "my \"best\".txt";
  Outcome outcome = run("upload", arguments);
  ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
  const ReceivedRequest received = server.received();
  EXPECT_NE(received.body.find("filename=\"my %22best%22.txt\""), std::string::npos);
  EXPECT_NE(received.body.find("\r\n\r\nAB\r\n--"), std::string::npos);
}

TEST_F(VKRFileTransferTest, RefusesWhatItCannotSendAsTheErrorCodes) {
  const std::string server = "http://127.0.0.1:1/upload";
  struct Case {
    const char* name;
    Value arguments;
    int32_t code;
  };
  auto withFileName = [&](const char* name) {
    Value::Array arguments = *upload("data:;base64,QUI=", server, nullptr, nullptr).arrayIf();
    arguments[3] = name;
    return Value(arguments);
  };
  const Case cases[] = {
      {"data URL without comma", upload("data:text/plain;base64", server, nullptr, nullptr), 2},
      {"server URL that does not parse",
       upload("data:;base64,QUI=", "http://[bad", nullptr, nullptr), 2},
      {"no object id", upload("data:;base64,QUI=", server, nullptr, nullptr, true, nullptr), 2},
      {"line break in a file name", withFileName("a\r\nX-Evil: 1"), 2},
      {"line break in a field name",
       upload("data:;base64,QUI=", server, Value::dictionary({{"a\nb", "v"}}), nullptr), 2},
      {"line break in a header value",
       upload("data:;base64,QUI=", server, nullptr, Value::dictionary({{"X-A", "1\r\nX-B: 2"}})),
       2},
      {"line break in the cookie",
       upload("data:;base64,QUI=", server, Value::dictionary({{"__cookie", "a\nb"}}), nullptr), 2},
      {"missing file", upload("/no/such/file", server, nullptr, nullptr), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_->clear();
    Outcome outcome = run("upload", *c.arguments.arrayIf());
    EXPECT_EQ(outcome.result.status(), kVKRCommandStatusError);
    EXPECT_EQ(errorField(outcome.result, "code"), Value(c.code));
    EXPECT_EQ(errorField(outcome.result, "source"), c.arguments.at(0));
    EXPECT_EQ(errorField(outcome.result, "target"), c.arguments.at(1));
  }
  EXPECT_TRUE(plugin_->activeTransferIds().empty());
}

// Serves "/file" (with its length), "/chunked" (without), "/missing", "/same", "/error" and
// redirects.
class FileServer {
 public:
  explicit FileServer(std::string content, bool tls = false)
      : server_(tls ? std::unique_ptr<HttpServer>(new HttpsServer())
                    : std::make_unique<HttpServer>()),
        content_(std::move(content)) {
    auto& routes = server_->routes();
    routes.Get("/file", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(content_, "application/octet-stream");
    });
    routes.Get("/chunked", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.method == "HEAD") {
        res.set_header("Content-Length", std::to_string(content_.size()));
        return;
      }
      res.set_chunked_content_provider("text/plain", [this](size_t offset,
                                                            httplib::DataSink& sink) {
        if (offset < content_.size()) {
          sink.write(content_.data() + offset, std::min<size_t>(4096, content_.size() - offset));
        } else {
          sink.done();
        }
        return true;
      });
    });
    routes.Get("/text", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(content_, "text/plain");  // compressed for clients that take gzip
    });
    routes.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("missing", "text/plain");
    });
    routes.Get("/same", [](const httplib::Request&, httplib::Response& res) { res.status = 304; });
    routes.Post("/error", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_content("broken", "text/plain");
    });
    routes.Get("/moved",
               [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/file"); });
    routes.Get("/moved-away", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/missing");
    });
    server_->start();
  }
  std::string url(const std::string& path) const { return server_->url(path); }

 private:
  std::unique_ptr<HttpServer> server_;
  std::string content_;
};

Value::Array download(const std::string& source, const std::string& target,
                      const char* id = "down1", bool trustAll = false) {
  return {source, target, trustAll, id, nullptr};
}

TEST_F(VKRFileTransferTest, DownloadsLandAtFileSystemURLsAndDevicePaths) {
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  FileServer server(content);
  const fs::path documents = platform::AppHome::documents();
  struct Case {
    std::string target;
    fs::path landsAt;
  };
  const Case cases[] = {
      {"vkrfile://localhost/persistent/in/new/folder/a.bin", documents / "in/new/folder/a.bin"},
      {(documents / "b.bin").string(), documents / "b.bin"},
      {"file://" + (documents / "c.bin").string(), documents / "c.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    delegate_->clear();
    Outcome outcome = run("download", download(server.url("/file"), c.target));
    ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
    EXPECT_TRUE(contentOf(c.landsAt) == content);
    const Dictionary* entry = outcome.result.message().dictionaryIf();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(*entry->find("name"), Value(c.landsAt.filename().string()));
    expectProgressToTotal(outcome.progress, int64_t(content.size()));
  }
}

TEST_F(VKRFileTransferTest, WithoutALengthProgressWaitsForTheHeadRequest) {
  const std::string content(50000, 'c');
  FileServer server(content);
  Outcome outcome = run("download", download(server.url("/chunked"), "/" + std::string("x")));
  // A device path no file system holds is refused.
  EXPECT_EQ(errorField(outcome.result, "code"), Value(1));

  delegate_->clear();
  outcome = run("download",
                download(server.url("/chunked"), "vkrfile://localhost/persistent/chunked.txt"));
  ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
  EXPECT_EQ(contentOf(platform::AppHome::documents() / "chunked.txt"), content);
  for (const Dictionary& event : outcome.progress) {
    EXPECT_EQ(*event.find("lengthComputable"), Value(true));
    EXPECT_EQ(valueOf(event, "total"), int64_t(content.size()));
  }

  // A compressed body's progress counts the bytes it decodes to, never past their total.
  delegate_->clear();
  outcome = run("download", download(server.url("/text"), "vkrfile://localhost/persistent/t.txt"));
  ASSERT_EQ(outcome.result.status(), kVKRCommandStatusOK) << outcome.result.argumentsAsJSON();
  EXPECT_EQ(contentOf(platform::AppHome::documents() / "t.txt"), content);
  for (const Dictionary& event : outcome.progress) {
    EXPECT_EQ(valueOf(event, "total"), int64_t(content.size()));
    EXPECT_LE(valueOf(event, "loaded"), int64_t(content.size()));
  }
}

TEST_F(VKRFileTransferTest, FailuresMapToTheErrorCodes) {
  FileServer server("content");
  const fs::path target = platform::AppHome::documents() / "failed.txt";
  const std::string targetURL = "vkrfile://localhost/persistent/failed.txt";
  struct Case {
    std::string source;
    int32_t code;
    int64_t httpStatus;
    Value body;
  };
  const Case cases[] = {
      {server.url("/missing"), 1, 404, "missing"},
      {server.url("/moved-away"), 1, 404, "missing"},
      {server.url("/same"), 5, 304, ""},
      {"http://127.0.0.1:1/refused", 3, 0, "<missing>"},
      {"http://[bad", 2, -99, "<missing>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    delegate_->clear();
    Outcome outcome = run("download", download(c.source, targetURL));
    EXPECT_EQ(outcome.result.status(), kVKRCommandStatusError);
    EXPECT_EQ(errorField(outcome.result, "code"), Value(c.code));
    EXPECT_EQ(errorField(outcome.result, "source"), Value(c.source));
    EXPECT_EQ(errorField(outcome.result, "target"), Value(targetURL));
    EXPECT_EQ(errorField(outcome.result, "http_status").intOr(-99), c.httpStatus);
    if (c.body != Value("<missing>")) {
      EXPECT_EQ(errorField(outcome.result, "body"), c.body);
    }
    EXPECT_FALSE(fs::exists(target));
  }

  delegate_->clear();
  Outcome redirected = run("download", download(server.url("/moved"), targetURL));
  EXPECT_EQ(redirected.result.status(), kVKRCommandStatusOK);
  EXPECT_EQ(contentOf(target), "content");

  // A failed download leaves a file it never opened as it was.
  delegate_->clear();
  run("download", download(server.url("/missing"), targetURL));
  EXPECT_EQ(contentOf(target), "content");

  delegate_->clear();
  Outcome rejected =
      run("upload", *upload("data:;base64,QUI=", server.url("/error"), nullptr, nullptr).arrayIf());
  EXPECT_EQ(errorField(rejected.result, "code"), Value(3));
  EXPECT_EQ(errorField(rejected.result, "http_status"), Value(500));
  EXPECT_EQ(errorField(rejected.result, "body"), Value("broken"));
}

TEST_F(VKRFileTransferTest, UntrustedServersNeedThePagesLeave) {
  FileServer server("secret", /*tls=*/true);
  const std::string target = "vkrfile://localhost/persistent/tls.txt";
  Outcome refused = run("download", download(server.url("/file"), target));
  EXPECT_EQ(errorField(refused.result, "code"), Value(3));
  EXPECT_FALSE(fs::exists(platform::AppHome::documents() / "tls.txt"));

  delegate_->clear();
  Outcome trusted = run("download", download(server.url("/file"), target, "down1", true));
  EXPECT_EQ(trusted.result.status(), kVKRCommandStatusOK) << trusted.result.argumentsAsJSON();
  EXPECT_EQ(contentOf(platform::AppHome::documents() / "tls.txt"), "secret");
}

// A server that sends the head and some of the body (or reads the request head only) and then
// holds the connection until it stops.
ScriptedServer holdingServer() {
  return ScriptedServer([](ScriptedServer::Connection& connection) {
    const std::string request = connection.readRequest();
    if (request.starts_with("GET")) {
      connection.write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" +
                       std::string(1000, 'p'));
    }
    connection.hold();
  });
}

TEST_F(VKRFileTransferTest, AbortStopsBothDirectionsAndAnswersOnce) {
  ScriptedServer server = holdingServer();
  const fs::path partial = platform::AppHome::documents() / "partial.bin";
  start("download", download(server.url("/big"), partial.string(), "d"), "Down");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return fs::exists(partial); }));
  const std::string big(4 << 20, 'u');
  const std::string source = write("big.bin", big).string();
  start("upload", *upload(source, server.url("/up"), nullptr, nullptr, true, "u").arrayIf(), "Up");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return server.connections() == 2; }));

  start("abort", {"unknown"}, "A0");
  start("abort", {"d"}, "A1");
  start("abort", {"u"}, "A2");
  for (const char* callback : {"Down", "Up"}) {
    Outcome outcome = finish(callback);
    EXPECT_EQ(outcome.result.status(), kVKRCommandStatusError) << callback;
    EXPECT_EQ(errorField(outcome.result, "code"), Value(4)) << callback;
  }
  EXPECT_EQ(errorField(finish("Down").result, "source"), Value(server.url("/big")));
  EXPECT_FALSE(fs::exists(partial));
  platform::testing::drainMainLoop();
  EXPECT_EQ(answersTo("A0") + answersTo("A1") + answersTo("A2"), 0u);
  EXPECT_TRUE(plugin_->activeTransferIds().empty());
  EXPECT_EQ(platform::ui::Application::shared().backgroundTaskCount(), 0u);

  // A page reload cancels what runs without answering.
  start("download", download(server.url("/big"), partial.string(), "r"), "Reset");
  // The server holds after its first bytes: once their progress has reached the page, nothing
  // else is on its way.
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return fs::exists(partial) && answersTo("Reset") > 0; }));
  const size_t before = answersTo("Reset");
  plugin_->onReset();
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !fs::exists(partial); }));
  EXPECT_TRUE(plugin_->activeTransferIds().empty());
  platform::testing::drainMainLoop();
  EXPECT_EQ(answersTo("Reset"), before);
}

TEST_F(VKRFileTransferTest, TransfersSharingAnIdKeepToThemselves) {
  ScriptedServer holding = holdingServer();
  FileServer server("shared");
  const fs::path held = platform::AppHome::documents() / "held.bin";
  start("download", download(holding.url("/big"), held.string(), "same"), "First");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return fs::exists(held); }));
  start("download", download(server.url("/file"), "vkrfile://localhost/persistent/s.txt", "same"),
        "Second");
  EXPECT_EQ(finish("Second").result.status(), kVKRCommandStatusOK);
  // The second's end (it unregisters just after its answer, on the plugin's queue) leaves the
  // first registered and its background task running.
  const auto left = [&](std::vector<std::string> ids, size_t backgroundTasks) {
    return platform::testing::runMainLoopUntil([&] {
      return plugin_->activeTransferIds() == ids &&
             platform::ui::Application::shared().backgroundTaskCount() == backgroundTasks;
    });
  };
  EXPECT_TRUE(left({"same"}, 1));
  start("abort", {"same"}, "A");
  EXPECT_EQ(errorField(finish("First").result, "code"), Value(4));
  EXPECT_TRUE(left({}, 0));
}

TEST_F(VKRFileTransferTest, AFailedWriteOfTheTargetEndsTheTransferAndRemovesTheFile) {
  FileServer server(std::string(1 << 20, 'w'));
  const fs::path target = platform::AppHome::documents() / "full.bin";
  // Writes past 64 KiB fail, as on a full disk.
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  Outcome outcome = run("download", download(server.url("/file"), target.string()));
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(outcome.result.status(), kVKRCommandStatusIOError);
  EXPECT_EQ(errorField(outcome.result, "code"), Value(1));
  EXPECT_EQ(errorField(outcome.result, "body"), Value("Could not write target file"));
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
