// The app's container end to end: a hostile page in the shell's web view tries every way a page
// has to read a file; it reaches the app's own files and nothing else.
#include <gtest/gtest.h>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/foundation/url.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::pngOf;
using platform::testing::writeFile;
using vokaru::testing::SharedPageHostTest;

// Each try* keeps its outcome under its name: "read:<what the page got>" or "refused".
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script>
  var results = {};
  var marker = 'still here';
  function tryFetch(name, url) {
    fetch(url).then(function (r) { return r.text(); })
              .then(function (t) { results[name] = 'read:' + t; },
                    function () { results[name] = 'refused'; });
  }
  function tryXHR(name, url) {
    try {
      var x = new XMLHttpRequest();
      x.open('GET', url, false);
      x.send();
      results[name] = x.responseText ? 'read:' + x.responseText : 'refused';
    } catch (e) { results[name] = 'refused'; }
  }
  function tryImage(name, url) {
    var image = new Image();
    image.onload = function () { results[name] = 'read:' + image.naturalWidth; };
    image.onerror = function () { results[name] = 'refused'; };
    image.src = url;
  }
  function tryFrame(name, url) {
    var frame = document.createElement('iframe');
    frame.onload = function () {
      var text = '';
      try { text = frame.contentDocument.body.textContent; } catch (e) {}
      results[name] = text ? 'read:' + text : 'refused';
    };
    frame.src = url;
    document.body.appendChild(frame);
  }
</script></head><body></body></html>)";

class AppContainerPageTest : public SharedPageHostTest<AppContainerPageTest> {
 public:
  static std::map<fs::path, std::string> bundleFiles() {
    return {{"www/index.html", kPage},
            {"www/own.txt", "own"},
            {"www/own.png", pngOf(3, 2, 0xff0000ff)}};
  }

 protected:
  void SetUp() override {
    ASSERT_NE(host_, nullptr);
    ASSERT_EQ(host_->eval("results = {}; 'ready'"), "ready");
    const fs::path home = host_->app().appHome();
    const fs::path beside = home.parent_path();
    writeFile(home / "Documents/home.txt", "home");
    writeFile(home / "Documents/home.png", pngOf(4, 2, 0x00ff00ff));
    writeFile(beside / "beside.txt", "beside");
    writeFile(beside / "beside.png", pngOf(5, 2, 0x0000ffff));
    writeFile(host_->app().keychainFolder() / "keychain.plist", "keys");
    std::error_code ignored;
    fs::create_symlink(beside / "beside.txt", home / "Documents/link.txt", ignored);
    fs::create_symlink(beside / "beside.png", home / "Documents/link.png", ignored);
  }

  static std::string url(const fs::path& path) {
    return platform::URL::fileURL(path.string())->absoluteString();
  }
  // Whether the view logged a refused navigation to a file of the name (the page resolves "..").
  static bool refusedNavigationTo(const std::string& target) {
    const std::string name = target.substr(target.rfind('/'));
    for (const std::string& line : host_->log().lines()) {
      if (line.find("outside the app's container: file://") != std::string::npos &&
          line.ends_with(name)) {
        return true;
      }
    }
    return false;
  }
  // Runs the page's try function on the URL and waits for its outcome. A frame's navigation that
  // the view refuses loads nothing and tells the page nothing: the view's log says it.
  static std::string attempt(const std::string& function, const std::string& target) {
    host_->log().clear();
    host_->eval("results = {}; " + function + "('r', '" + target + "'); 'started'");
    const bool settled = platform::testing::runMainLoopUntil(
        [&] {
          return refusedNavigationTo(target) || host_->eval("results.r !== undefined") == "true";
        },
        platform::seconds(10));
    if (!settled) return "(no answer)";
    return host_->eval("results.r === undefined ? 'refused' : results.r");
  }

  fs::path bundle() const { return host_->app().bundlePath() / "www"; }
  fs::path home() const { return host_->app().appHome() / "Documents"; }
  fs::path beside() const { return host_->app().appHome().parent_path(); }
};

TEST_F(AppContainerPageTest, ReadsOnlyTheAppsOwnFiles) {
  const std::vector<std::string> outside = {
      "file:///etc/passwd",
      url(beside() / "beside.txt"),
      url(home() / "link.txt"),
      url(home() / "../../beside.txt"),
      url(host_->app().keychainFolder() / "keychain.plist"),
  };
  for (const char* function : {"tryFetch", "tryXHR", "tryFrame"}) {
    EXPECT_EQ(attempt(function, url(bundle() / "own.txt")), "read:own") << function;
    EXPECT_EQ(attempt(function, url(home() / "home.txt")), "read:home") << function;
    for (const std::string& target : outside) {
      EXPECT_EQ(attempt(function, target), "refused") << function << " " << target;
    }
  }
  EXPECT_EQ(attempt("tryImage", url(bundle() / "own.png")), "read:3");
  EXPECT_EQ(attempt("tryImage", url(home() / "home.png")), "read:4");
  EXPECT_EQ(attempt("tryImage", url(beside() / "beside.png")), "refused");
  EXPECT_EQ(attempt("tryImage", url(home() / "link.png")), "refused");
}

TEST_F(AppContainerPageTest, RefusesTopLevelNavigationsOutside) {
  const std::string page = host_->webView()->url();
  for (const std::string& target : {std::string("file:///etc/passwd"), url(beside() / "beside.txt"),
                                    url(home() / "link.txt")}) {
    host_->log().clear();
    host_->eval("location.href = '" + target + "'; 'going'");
    EXPECT_TRUE(platform::testing::runMainLoopUntil(
        [&] { return host_->log().contains("outside the app's container: " + target); },
        platform::seconds(10)))
        << target;
    EXPECT_EQ(host_->webView()->url(), page);
    EXPECT_EQ(host_->eval("marker"), "still here");
  }
  // A page of the app home still opens.
  const int loads = host_->pageLoads();
  host_->eval("location.href = '" + url(home() / "home.txt") + "'; 'going'");
  ASSERT_TRUE(host_->waitForPageLoads(loads + 1));
  EXPECT_EQ(host_->webView()->url(), url(home() / "home.txt"));
  ASSERT_TRUE(host_->reload());
}

}  // namespace
