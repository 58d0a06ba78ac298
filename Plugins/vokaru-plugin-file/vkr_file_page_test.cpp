// The file plugin end to end: a real page in a WebKit web view writes, reads and shows files.
#include <gtest/gtest.h>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "VokaruLib/testing/page_host_test.h"
#include "platform/foundation/base64.h"
#include "platform/testing/png.h"
#include "platform/testing/temp_dir.h"

namespace {

using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="File">
    <param name="ios-package" value="VKRFile" />
    <param name="onload" value="true" />
  </feature>
</widget>)";

// call() keeps each answer under its name: ["ok" or "fail", message].
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script><script>
  var answers = {};
  function call(name, action, args) {
    vokaru.exec(function (message) { answers[name] = ['ok', message]; },
                function (error) { answers[name] = ['fail', error]; },
                'File', action, args);
  }
  function bytes(buffer) { return Array.prototype.join.call(new Uint8Array(buffer), ','); }
  function show(name, src) {
    var image = new Image();
    image.onload = function () { answers[name] = ['loaded', image.naturalWidth]; };
    image.onerror = function () { answers[name] = ['error']; };
    image.src = src;
  }
</script></head><body></body></html>)";

class FilePageTest : public SharedPageHostTest<FilePageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig}, {"www/index.html", kPage}};
  }

 protected:
  void SetUp() override {
    ASSERT_NE(host_, nullptr);
    ASSERT_EQ(host_->eval("answers = {}; 'ready'"), "ready");
  }

  // Waits for the named answer and gives it as JSON.
  static std::string answer(const std::string& name) {
    if (!host_->waitFor("answers['" + name + "'] !== undefined")) return "(no answer)";
    return host_->eval("JSON.stringify(answers['" + name + "'])");
  }
  std::filesystem::path documents() const { return host_->app().appHome() / "Documents"; }
};

TEST_F(FilePageTest, APageWritesAFileAndReadsItBackEveryWay) {
  host_->eval(
      R"(call('write', 'write', ['vkrfile://localhost/persistent/note.txt', 'h\u00e9llo', 0]))");
  ASSERT_EQ(answer("write"), R"(["ok",6])");
  EXPECT_EQ(platform::testing::readFile(documents() / "note.txt"), "h\xC3\xA9llo");

  host_->eval(R"(
    var url = 'vkrfile://localhost/persistent/note.txt';
    call('text', 'readAsText', [url, 'UTF-8', 0, -1]);
    call('dataURL', 'readAsDataURL', [url, 0, -1]);
    call('buffer', 'readAsArrayBuffer', [url, 1, 3]);
    call('binary', 'readAsBinaryString', [url, 0, 3]))");
  EXPECT_EQ(answer("text"), "[\"ok\",\"h\xC3\xA9llo\"]");
  EXPECT_EQ(answer("dataURL"),
            "[\"ok\",\"data:text/plain;base64," + platform::base64Encode("h\xC3\xA9llo") + "\"]");
  ASSERT_TRUE(host_->waitFor("answers.buffer !== undefined"));
  EXPECT_EQ(host_->eval("answers.buffer[1] instanceof ArrayBuffer && bytes(answers.buffer[1])"),
            "195,169");
  EXPECT_EQ(host_->eval("answers.binary && answers.binary[1] === 'h\\u00c3\\u00a9'"), "true");
}

TEST_F(FilePageTest, APageShowsAWrittenImageThroughItsURL) {
  const std::string png = platform::testing::pngOf(2, 1, 0x3366ccff);
  host_->eval(
      "call('png', 'write', ['vkrfile://localhost/persistent/dot.png', "
      "vokaru.require('vokaru/base64').toArrayBuffer('" +
      platform::base64Encode(png) + "'), 0])");
  ASSERT_EQ(answer("png"), "[\"ok\"," + std::to_string(png.size()) + "]");
  EXPECT_EQ(platform::testing::readFile(documents() / "dot.png"), png);

  host_->eval(R"(show('image', 'vkrfile://localhost/persistent/dot.png');
                 show('missing', 'vkrfile://localhost/persistent/missing.png');
                 show('outside', 'vkrfile://localhost/persistent/%2E%2E/Documents/dot.png'))");
  EXPECT_EQ(answer("image"), R"(["loaded",2])");
  EXPECT_EQ(answer("missing"), R"(["error"])");
  EXPECT_EQ(answer("outside"), R"(["error"])");
}

TEST_F(FilePageTest, HostileURLsFromThePageAreRefused) {
  platform::testing::writeFile(host_->app().appHome() / "secret.txt", "secret");
  platform::testing::writeFile(documents() / "note.txt", "note");
  host_->eval(R"(
    call('resolve', 'resolveLocalFileSystemURI',
         ['vkrfile://localhost/persistent/%2E%2E/secret.txt']);
    call('read', 'readAsText', ['vkrfile://localhost/persistent/../secret.txt', 'UTF-8', 0, -1]);
    call('copy', 'copyTo', ['vkrfile://localhost/persistent/note.txt',
                            'vkrfile://localhost/persistent/', '../stolen.txt']))");
  EXPECT_EQ(answer("resolve"), R"(["fail",5])");
  EXPECT_EQ(answer("read"), R"(["fail",5])");
  EXPECT_EQ(answer("copy"), R"(["fail",5])");
  EXPECT_FALSE(std::filesystem::exists(host_->app().appHome() / "stolen.txt"));
}

}  // namespace
