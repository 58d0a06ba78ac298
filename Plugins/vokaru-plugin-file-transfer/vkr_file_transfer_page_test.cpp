// File transfers end to end: a real page uploads a file to a loopback server and downloads one
// into the app's documents through the page module.
#include <gtest/gtest.h>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/storage/app_home.h"
#include "platform/testing/http_server.h"
#include "platform/testing/temp_dir.h"

namespace {

using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="File"><param name="ios-package" value="VKRFile" />
    <param name="onload" value="true" /></feature>
  <feature name="FileTransfer"><param name="ios-package" value="VKRFileTransfer" /></feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-file-transfer/filetransfer.js"></script>
<script>var answers = {};</script></head><body></body></html>)";

class FileTransferPageTest : public SharedPageHostTest<FileTransferPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/plugins/vokaru-plugin-file-transfer/filetransfer.js",
             platform::testing::readFile(VKR_FILE_TRANSFER_MODULE)}};
  }

 protected:
  void SetUp() override { resetPage("answers = {}"); }
};

TEST_F(FileTransferPageTest, APageUploadsAndDownloadsWithProgress) {
  platform::Mutex mutex;
  std::string uploaded;
  platform::testing::HttpServer server;
  server.routes().Post("/up", [&](const httplib::Request& request, httplib::Response& response) {
    {
      platform::MutexLock lock(mutex);
      uploaded = request.body;
    }
    response.status = 201;
    response.set_content("stored", "text/plain");
  });
  server.routes().Get("/report.txt", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(20000, 'r'), "application/octet-stream");
  });
  server.start();

  host_->eval("var events = 0; vokaru.fileTransfer.upload('data:text/plain;base64,aGk=', '" +
              server.url("/up") +
              "', { headers: { 'Content-Type': 'text/plain' },"
              "     onprogress: function () { events++; } })"
              ".then(function (r) { answers.up = [r.responseCode, r.response, events > 0]; });"
              "'started'");
  EXPECT_EQ(answerJSON("up"), "[201,\"stored\",true]");
  {
    platform::MutexLock lock(mutex);
    EXPECT_EQ(uploaded, "hi");
  }

  host_->eval(
      "var last = null; vokaru.fileTransfer.download('" + server.url("/report.txt") +
      "', 'vkrfile://localhost/persistent/report.txt',"
      "  { onprogress: function (e) { last = e; } })"
      ".then(function (entry) { answers.down = [entry.fullPath, last.loaded, last.total]; });"
      "'started'");
  EXPECT_EQ(answerJSON("down"), "[\"/report.txt\",20000,20000]");
  EXPECT_EQ(platform::testing::readFile(platform::AppHome::documents() / "report.txt"),
            std::string(20000, 'r'));

  host_->eval(
      "vokaru.fileTransfer.download('http://127.0.0.1:1/x', 'vkrfile://localhost/persistent/x')"
      ".catch(function (e) { answers.bad = [e.code, e instanceof "
      "vokaru.fileTransfer.FileTransferError]; }); 'started'");
  EXPECT_EQ(answerJSON("bad"), "[3,true]");
}

}  // namespace
