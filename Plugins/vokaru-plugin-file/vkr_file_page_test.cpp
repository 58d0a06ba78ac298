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
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-file/file.js"></script><script>
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
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/plugins/vokaru-plugin-file/file.js",
             platform::testing::readFile(VOKARU_FILE_MODULE)}};
  }

 protected:
  void SetUp() override { resetPage("answers = {}"); }

  std::filesystem::path documents() const { return host_->app().appHome() / "Documents"; }
};

TEST_F(FilePageTest, APageWritesAFileAndReadsItBackEveryWay) {
  host_->eval(
      R"(call('write', 'write', ['vkrfile://localhost/persistent/note.txt', 'h\u00e9llo', 0]))");
  ASSERT_EQ(answerJSON("write"), R"(["ok",6])");
  EXPECT_EQ(platform::testing::readFile(documents() / "note.txt"), "h\xC3\xA9llo");

  host_->eval(R"(
    var url = 'vkrfile://localhost/persistent/note.txt';
    call('text', 'readAsText', [url, 'UTF-8', 0, -1]);
    call('dataURL', 'readAsDataURL', [url, 0, -1]);
    call('buffer', 'readAsArrayBuffer', [url, 1, 3]);
    call('binary', 'readAsBinaryString', [url, 0, 3]))");
  EXPECT_EQ(answerJSON("text"), "[\"ok\",\"h\xC3\xA9llo\"]");
  EXPECT_EQ(answerJSON("dataURL"),
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
  ASSERT_EQ(answerJSON("png"), "[\"ok\"," + std::to_string(png.size()) + "]");
  EXPECT_EQ(platform::testing::readFile(documents() / "dot.png"), png);

  host_->eval(R"(show('image', 'vkrfile://localhost/persistent/dot.png');
                 show('missing', 'vkrfile://localhost/persistent/missing.png');
                 show('outside', 'vkrfile://localhost/persistent/%2E%2E/Documents/dot.png'))");
  EXPECT_EQ(answerJSON("image"), R"(["loaded",2])");
  EXPECT_EQ(answerJSON("missing"), R"(["error"])");
  EXPECT_EQ(answerJSON("outside"), R"(["error"])");
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
  EXPECT_EQ(answerJSON("resolve"), R"(["fail",5])");
  EXPECT_EQ(answerJSON("read"), R"(["fail",5])");
  EXPECT_EQ(answerJSON("copy"), R"(["fail",5])");
  EXPECT_FALSE(std::filesystem::exists(host_->app().appHome() / "stolen.txt"));
}

// The page module end to end: every operation it offers, its callbacks and its Promises.
constexpr const char* kModuleWalk = R"(
  var log = [];
  async function walk() {
    function note(text) { log.push(text); }
    function failure(promise) {
      return promise.then(function () { return 'succeeded'; },
                          function (error) { return error.code + ' ' + error.message; });
    }
    var byCallback;
    var fileSystem = await requestFileSystem(LocalFileSystem.PERSISTENT, 0,
                                             function (fs) { byCallback = fs; });
    note('fileSystem ' + fileSystem.name + ' ' + fileSystem.root.fullPath + ' ' +
         fileSystem.root.isDirectory + ' ' + (byCallback === fileSystem));
    var root = fileSystem.root;
    var folder = await root.getDirectory('walk', { create: true });
    note('folder ' + folder.fullPath + ' ' + folder.isDirectory);
    var entry = await folder.getFile('a b%.txt', { create: true });
    note('file ' + entry.name + ' ' + entry.fullPath + ' ' + entry.isFile + ' ' + entry.toURL());

    var writer = await entry.createWriter();
    var ends = 0;
    writer.onwriteend = function () { ends++; };
    note('wrote ' + await writer.write('hello world') + ' at ' + writer.position);
    writer.seek(6);
    await writer.write('there');
    note('truncated to ' + await writer.truncate(5) + ', length ' + writer.length);
    writer.seek(-1);
    await writer.write(new Uint8Array([79, 33]));
    writer.seek(writer.length);
    await writer.write(new Blob(['?']));
    note('writer ' + writer.position + ' ' + writer.length + ' ' + ends + ' ends');

    var file = await entry.file();
    note('snapshot ' + file.name + ' ' + file.size);
    note('text ' + await file.readAsText());
    note('slice ' + await file.slice(1, 3).readAsText('utf-8'));
    note('dataURL ' + await file.readAsDataURL());
    var buffer = await file.slice(-2).readAsArrayBuffer();
    note('buffer ' + new Uint8Array(buffer).join(','));
    note('binary ' + await file.slice(0, 2).readAsBinaryString());
    var metadata = await entry.getMetadata();
    note('metadata ' + metadata.size + ' ' + (metadata.modificationTime instanceof Date));
    await entry.setMetadata(null, null, { 'com.apple.MobileBackup': 1 });

    var copy = await entry.copyTo(folder, 'copy.txt');
    var moved = await copy.moveTo(folder, 'moved.txt');
    note('copied and moved ' + copy.name + ' ' + moved.fullPath);
    var reader = folder.createReader();
    var names = (await reader.readEntries()).map(function (item) { return item.name; });
    note('entries ' + names.sort().join('|') + ' then ' + (await reader.readEntries()).length);
    var parent = await moved.getParent();
    note('parent ' + parent.fullPath + ' ' + parent.isDirectory);
    var resolved = await resolveLocalFileSystemURL(entry.toURL());
    var native = await resolveLocalFileSystemURL(entry.nativeURL);
    note('resolved ' + resolved.fullPath + ' ' + native.filesystem.name + ' ' + native.fullPath);

    var failedBy;
    note('missing ' + await failure(folder.getFile('missing.txt', null, null,
                                                   function (e) { failedBy = e.code; })) +
         ' by callback ' + failedBy);
    note('exclusive ' + await failure(folder.getFile('moved.txt',
                                                     { create: true, exclusive: true })));
    note('kind ' + await failure(folder.getDirectory('moved.txt')));
    note('root ' + await failure(root.remove()));
    note('full folder ' + await failure(folder.remove()));
    note('bad type ' + await failure(requestFileSystem(99, 0)));
    await moved.remove();
    await folder.removeRecursively();
    note('gone ' + await failure(resolveLocalFileSystemURL(folder.toURL())));
    return log;
  })";

TEST_F(FilePageTest, APageUsesEveryOperationOfTheModule) {
  host_->eval(
      std::string(kModuleWalk) +
      "; walk().then(function (log) { answers.walk = ['ok', log]; },"
      "              function (e) { answers.walk = ['fail', String(e), log]; }); 'started'");
  const std::string expected =
      R"(["ok",[)"
      R"("fileSystem persistent / true true",)"
      R"("folder /walk/ true",)"
      R"("file a b%.txt /walk/a b%.txt true vkrfile://localhost/persistent/walk/a%20b%25.txt",)"
      R"("wrote 11 at 11",)"
      R"("truncated to 5, length 5",)"
      R"("writer 7 7 5 ends",)"
      R"("snapshot a b%.txt 7",)"
      R"("text hellO!?",)"
      R"("slice el",)"
      R"("dataURL data:text/plain;base64,aGVsbE8hPw==",)"
      R"("buffer 33,63",)"
      R"("binary he",)"
      R"("metadata 7 true",)"
      R"("copied and moved copy.txt /walk/moved.txt",)"
      R"("entries a b%.txt|moved.txt then 0",)"
      R"("parent /walk/ true",)"
      R"("resolved /walk/a b%.txt persistent /walk/a b%.txt",)"
      R"("missing 1 NOT_FOUND_ERR by callback 1",)"
      R"("exclusive 12 PATH_EXISTS_ERR",)"
      R"("kind 11 TYPE_MISMATCH_ERR",)"
      R"("root 6 NO_MODIFICATION_ALLOWED_ERR",)"
      R"("full folder 9 INVALID_MODIFICATION_ERR",)"
      R"("bad type 1 NOT_FOUND_ERR",)"
      R"("gone 1 NOT_FOUND_ERR"]])";
  EXPECT_EQ(answerJSON("walk"), expected);
  EXPECT_FALSE(std::filesystem::exists(documents() / "walk"));
}

}  // namespace
