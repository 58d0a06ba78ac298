#pragma once

// What the upload and download benchmarks share: a loopback server that takes and serves 64 MB,
// and the file-transfer plugin with the file plugin under a command delegate that only notes
// when a transfer has answered for the last time.

#include <atomic>
#include <memory>
#include <string>

#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer.h"
#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/testing/http_server.h"
#include "platform/testing/test_app.h"

namespace bench {

inline constexpr size_t kTransferSize = 64u << 20;

// Serves "/file" (64 MB, never compressed) and takes "/upload" without keeping the bytes.
inline std::unique_ptr<platform::testing::HttpServer> makeTransferServer(const std::string& body) {
  auto server = std::make_unique<platform::testing::HttpServer>();
  httplib::Server& routes = server->routes();
  routes.Get("/file", [&body](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "application/octet-stream");
  });
  routes.Post("/upload", [](const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& reader) {
    size_t received = 0;
    const auto count = [&](const char*, size_t length) {
      received += length;
      return true;
    };
    // A form's parts are read as a form (the plain reader fails on one); the count is then of
    // the parts' contents.
    const bool read = request.is_multipart_form_data()
                          ? reader([](const httplib::MultipartFormData&) { return true; }, count)
                          : reader(count);
    response.status = read ? 200 : 400;
    response.set_content(std::to_string(received), "text/plain");
  });
  server->start();
  return server;
}

// Answers only whether the last transfer has given its final answer, and whether it failed.
class FinalAnswerDelegate : public vokaru::testing::RecordingCommandDelegate {
 public:
  void sendPluginResult(const VKRPluginResult& result, const std::optional<std::string>&) override {
    if (result.keepCallback()) return;
    failed_ = failed_ || result.status() != kVKRCommandStatusOK;
    done_ = true;
  }
  // Runs the main loop until the final answer.
  void wait() {
    while (!done_) platform::runMainLoopOnce(std::chrono::milliseconds(50));
    done_ = false;
  }
  bool failed() const { return failed_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<bool> failed_{false};
};

// The two plugins in a throw-away app.
struct TransferPlugins {
  TransferPlugins() {
    platform::setConsoleLogging(false);
    files->setCommandDelegate(delegate);
    files->pluginInitialize();
    delegate->setPlugin("File", files);
    transfers->setCommandDelegate(delegate);
    transfers->pluginInitialize();
  }
  void run(const std::string& action, platform::Value::Array arguments) {
    transfers->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), "T1", "FileTransfer", action));
    delegate->wait();
  }

  platform::testing::TestApp app;
  std::shared_ptr<FinalAnswerDelegate> delegate = std::make_shared<FinalAnswerDelegate>();
  std::shared_ptr<VKRFile> files = std::make_shared<VKRFile>(nullptr);
  std::shared_ptr<VKRFileTransfer> transfers = std::make_shared<VKRFileTransfer>(nullptr);
};

}  // namespace bench
