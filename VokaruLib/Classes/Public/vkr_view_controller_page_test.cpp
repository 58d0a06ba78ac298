// The runtime end to end: real pages in a WebKit web view under a display, talking to plugins.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/page_host_test.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"

namespace {

using platform::ui::Application;
using vokaru::testing::PageHost;
using vokaru::testing::SharedPageHostTest;

// Answers the page: "echo" with its argument, "repeat" with N kept results and a last one,
// "fail" with an error object.
class PageProbePlugin : public VKRPlugin {
 public:
  explicit PageProbePlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("echo", &PageProbePlugin::echo);
    addAction("repeat", &PageProbePlugin::repeat);
    addAction("fail", &PageProbePlugin::fail);
  }

 private:
  void echo(const VKRInvokedUrlCommand& command) {
    commandDelegate()->sendPluginResult(
        VKRPluginResult(kVKRCommandStatusOK, command.argumentAtIndex(0)), command.callbackId());
  }
  void repeat(const VKRInvokedUrlCommand& command) {
    const int64_t times = command.argumentAtIndex(0).intOr(0);
    for (int64_t i = 1; i <= times; ++i) {
      VKRPluginResult result = VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, i);
      result.setKeepCallback(i < times);
      commandDelegate()->sendPluginResult(result, command.callbackId());
    }
  }
  void fail(const VKRInvokedUrlCommand& command) {
    commandDelegate()->sendPluginResult(
        VKRPluginResult::resultWithStatusMessageToErrorObject(kVKRCommandStatusError, 3),
        command.callbackId());
  }
};
VKR_REGISTER_PLUGIN(PageProbePlugin);

// Takes the URLs the app hands to other programs.
class RecordingOpener : public platform::ui::URLOpener {
 public:
  bool canOpenURL(const std::string&) override { return true; }
  void openURL(const std::string& url, std::function<void(bool)> completion) override {
    opened.push_back(url);
    if (completion) completion(true);
  }
  std::vector<std::string> opened;
};

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="Probe"><param name="ios-package" value="PageProbePlugin" /></feature>
  <feature name="IntentAndNavigationFilter">
    <param name="ios-package" value="VKRIntentAndNavigationFilter" onload="true" />
  </feature>
  <feature name="HandleOpenUrl">
    <param name="ios-package" value="VKRHandleOpenURL" />
    <param name="onload" value="true" />
  </feature>
  <allow-intent href="mailto:*" />
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script><script>
  var events = [];
  ['resign', 'pause', 'resume', 'active'].forEach(function (type) {
    document.addEventListener(type, function () { events.push(type); });
  });
  var opened = [];
  function handleOpenURL(url) { opened.push(url); }
  var answers = [];
  function call(action, args) {
    vokaru.exec(function (message) { answers.push(['ok', action, message]); },
                function (error) { answers.push(['fail', action, error]); },
                'Probe', action, args);
  }
</script></head>
<body>
  <a id="mail" href="mailto:someone@example.test">mail</a>
  <a id="outside" href="https://outside.example.test/">outside</a>
</body></html>)";

// One app, window and page for the group; cases that need a fresh page reload it.
class PageTest : public SharedPageHostTest<PageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig}, {"www/index.html", kPage}};
  }

 protected:
  void SetUp() override { resetPage("answers = []; events = []; opened = []"); }

  static std::string eval(const std::string& script) { return host_->eval(script); }
  static bool waitFor(const std::string& condition) { return host_->waitFor(condition); }
};

TEST_F(PageTest, TheStartPageLoadsFromTheWebFolder) {
  EXPECT_EQ(host_->pageLoads(), 1);
  EXPECT_EQ(host_->pageFailures(), 0);
  const std::string start = (host_->app().bundlePath() / "www" / "index.html").string();
  EXPECT_EQ(host_->webView()->url(), "file://" + start);
  EXPECT_TRUE(host_->log().contains("Finished load of: file://" + start));
  // The start-up plugins were made before the page loaded.
  EXPECT_EQ(host_->controller()->pluginObjects().count("VKRIntentAndNavigationFilter"), 1u);
  EXPECT_EQ(host_->controller()->pluginObjects().count("VKRUIWebViewEngine"), 1u);
  EXPECT_EQ(*host_->controller()->userAgentLockToken(), 0);  // released by the load
}

TEST_F(PageTest, ACommandReachesThePluginAndItsAnswerTheCallback) {
  eval(R"(var sent = 'hello \u2028 "world" \'';
         call('echo', [sent]); call('fail', []))");
  ASSERT_TRUE(waitFor("answers.length === 2"));
  EXPECT_EQ(eval("answers[0][0] === 'ok' && answers[0][2] === sent"), "true");
  EXPECT_EQ(eval("JSON.stringify(answers[1])"), R"(["fail","fail",{"code":3}])");
}

TEST_F(PageTest, KeptCallbacksGetEveryResult) {
  eval("call('repeat', [3])");
  ASSERT_TRUE(waitFor("answers.length === 3"));
  EXPECT_EQ(eval("JSON.stringify(answers.map(function (a) { return a[2]; }))"), "[1,2,3]");
  EXPECT_EQ(eval("vokaru.require('vokaru/exec').pendingCallbacks()"), "0");
}

TEST_F(PageTest, CommandsSentFromCallbacksComeBackInOrder) {
  eval(R"(var chain = [];
    function next(n) {
      vokaru.exec(function (m) { chain.push(m); if (m < 20) next(m + 1); }, null,
                  'Probe', 'echo', [n]);
    }
    next(1))");
  ASSERT_TRUE(waitFor("chain.length === 20"));
  EXPECT_EQ(eval("chain.join(',')"), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20");
}

TEST_F(PageTest, LifeCycleReachesThePageAsDocumentEvents) {
  Application& application = Application::shared();
  ASSERT_EQ(application.applicationState(), platform::ui::ApplicationState::Active);
  application.enterBackground();  // resign, then background
  application.becomeActive();     // foreground, then active
  ASSERT_TRUE(waitFor("events.length === 4"));
  EXPECT_EQ(eval("events.join(',')"), "resign,pause,resume,active");
}

TEST_F(PageTest, NavigationsFollowTheRulesOfConfigXml) {
  auto opener = std::make_shared<RecordingOpener>();
  Application::shared().setURLOpener(opener);
  // A tapped link that allow-intent lets out goes to the system; the page stays.
  eval("document.getElementById('mail').click()");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !opener->opened.empty(); }));
  EXPECT_EQ(opener->opened, (std::vector<std::string>{"mailto:someone@example.test"}));
  // Not in allow-navigation: refused, logged, and the page stays.
  eval("document.getElementById('outside').click()");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] {
    return host_->log().contains(
        "ERROR Internal navigation rejected - <allow-navigation> not set for "
        "url='https://outside.example.test/'");
  }));
  eval("location.href = 'https://outside.example.test/other'");
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return host_->log().contains("url='https://outside.example.test/other'"); }));
  EXPECT_EQ(eval("typeof call"), "function");
  EXPECT_EQ(host_->pageLoads(), 1);
  EXPECT_EQ(opener->opened.size(), 1u);
  Application::shared().setURLOpener(nullptr);
}

TEST_F(PageTest, URLsOpenedIntoTheAppReachHandleOpenURLIntact) {
  const std::string url =
      "myapp://open?q=\"');alert(1);//\\\xE2\x80\xA8"
      "end";
  ASSERT_TRUE(Application::shared().openURLInApp(url));
  ASSERT_TRUE(waitFor("opened.length === 1"));
  EXPECT_EQ(eval("opened[0]"), url);
}

TEST(PageErrorTest, AMissingStartPageLoadsTheErrorPageWithTheMessage) {
  PageHost::Options options;
  options.files = {{"config.xml", R"(<widget><content src="missing.html" />
                        <preference name="ErrorUrl" value="error.html" /></widget>)"},
                   {"www/error.html", "<p>error page</p>"}};
  PageHost host(std::move(options));
  ASSERT_TRUE(host.launch().ok());
  EXPECT_EQ(host.eval("location.pathname"), (host.app().bundlePath() / "www/error.html").string());
  EXPECT_EQ(host.eval("new URLSearchParams(location.search).get('error')"),
            "ERROR: Start Page at 'www/missing.html' was not found.");
}

// The value stored under the key in a localStorage database; "" when there is none (yet).
std::string storedValue(const std::filesystem::path& database, const std::string& key) {
  sqlite3* db = nullptr;
  std::string value;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM ItemTable WHERE key = ?", -1, &statement,
                           nullptr) == SQLITE_OK) {
      sqlite3_bind_text(statement, 1, key.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(statement) == SQLITE_ROW) {
        // The engine keeps values as UTF-16 blobs.
        const auto* bytes = static_cast<const char16_t*>(sqlite3_column_blob(statement, 0));
        const int size = sqlite3_column_bytes(statement, 0);
        for (int i = 0; bytes && i < size / 2; ++i) value += static_cast<char>(bytes[i]);
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close_v2(db);
  return value;
}

// Waits for the engine to write the value into the database. It writes its storage a little
// later, on a timer of its storage process, which a busy machine can hold back for seconds.
bool waitForStoredValue(const std::filesystem::path& database, const std::string& key,
                        const std::string& value) {
  return platform::testing::runMainLoopUntil([&] { return storedValue(database, key) == value; },
                                             platform::seconds(40));
}

// Sets the page's item and waits until the engine has written it to the database. The engine
// writes its store on a timer of its own, and under load that write has been seen not to come; a
// change made again (another value, then the one wanted) schedules a fresh write.
bool storeAndWait(PageHost& host, const std::filesystem::path& database, const std::string& key,
                  const std::string& value) {
  const std::string set = "localStorage.setItem('" + key + "', ";
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (attempt > 0) host.eval(set + "'" + value + "~')");
    host.eval(set + "'" + value + "')");
    if (platform::testing::runMainLoopUntil([&] { return storedValue(database, key) == value; },
                                            platform::seconds(10))) {
      return true;
    }
  }
  return false;
}

// What SQLite's integrity check says of a database.
std::string integrityOf(const std::filesystem::path& database) {
  sqlite3* db = nullptr;
  std::string answer;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      answer = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close_v2(db);
  return answer;
}

TEST(PageStorageTest, WebStorageIsBackedUpAndRestored) {
  PageHost::Options options;
  options.files = {{"config.xml", R"(<widget><preference name="BackupWebStorage" value="local" />
         <feature name="LocalStorage"><param name="ios-package" value="VKRLocalStorage" /></feature>
         </widget>)"},
                   {"www/index.html", R"(<script src="vokaru.js"></script>)"}};
  std::string backup;
  {
    PageHost host(options);
    ASSERT_TRUE(host.launch().ok());
    const std::filesystem::path home = host.app().appHome();
    const std::filesystem::path live = home / "Library/Caches/file__0.localstorage";
    const std::filesystem::path copy = home / "Documents/Backups/localstorage.appdata.db";
    ASSERT_TRUE(storeAndWait(host, live, "greeting", "hello"));
    Application::shared().resignActive();
    ASSERT_TRUE(waitForStoredValue(copy, "greeting", "hello"));
    backup = platform::testing::readFile(copy);
  }
  // Another run, after the system emptied the caches: the page finds its storage again.
  PageHost host(options);
  platform::testing::writeFile(host.app().appHome() / "Documents/Backups/localstorage.appdata.db",
                               backup);
  ASSERT_TRUE(host.launch().ok());
  EXPECT_EQ(host.eval("localStorage.getItem('greeting')"), "hello");
  EXPECT_TRUE(host.log().contains("Restored: localStorage database"));
}

PageHost::Options storageOptions(const std::string& backupSetting) {
  PageHost::Options options;
  options.files = {
      {"config.xml", R"(<widget><preference name="BackupWebStorage" value=")" + backupSetting +
                         R"(" /><feature name="LocalStorage">
         <param name="ios-package" value="VKRLocalStorage" /></feature></widget>)"},
      {"www/index.html", R"(<script src="vokaru.js"></script>)"}};
  return options;
}

// Where the engine keeps the page's store for a "BackupWebStorage" setting.
std::filesystem::path liveStore(const std::filesystem::path& home, const std::string& setting) {
  return home / (setting == "local" ? "Library/Caches" : "Library/WebKit/LocalStorage") /
         "file__0.localstorage";
}

void copyFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::remove_all(to);
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

// Runs whose setting flips, one way and back: each run finds what the earlier ones stored.
TEST(PageStorageTest, AFlippedBackupSettingKeepsThePageStore) {
  const std::string settings[] = {"cloud", "local", "cloud"};
  platform::testing::TempDir kept;
  for (size_t run = 0; run < std::size(settings); ++run) {
    PageHost host(storageOptions(settings[run]));
    const std::filesystem::path home = host.app().appHome();
    if (run > 0) copyFolder(kept / "Library", home / "Library");
    ASSERT_TRUE(host.launch().ok()) << run;
    for (size_t earlier = 0; earlier < run; ++earlier) {
      EXPECT_EQ(host.eval("localStorage.getItem('run" + std::to_string(earlier) + "')"),
                settings[earlier])
          << "run " << run;
    }
    const std::string key = "run" + std::to_string(run);
    ASSERT_TRUE(storeAndWait(host, liveStore(home, settings[run]), key, settings[run])) << run;
    ASSERT_TRUE(platform::UserDefaults::standard()->synchronize());
    copyFolder(home / "Library", kept / "Library");
  }
}

// A page reset while the engine has the live store open: a newer backup is put back in place,
// and the store stays whole and usable.
TEST(PageStorageTest, ARestoreOnResetLeavesTheOpenStoreWhole) {
  PageHost host(storageOptions("local"));
  ASSERT_TRUE(host.launch().ok());
  const std::filesystem::path home = host.app().appHome();
  const std::filesystem::path live = liveStore(home, "local");
  const std::filesystem::path copy = home / "Documents/Backups/localstorage.appdata.db";
  ASSERT_TRUE(storeAndWait(host, live, "kept", "yes"));
  Application::shared().resignActive();
  ASSERT_TRUE(waitForStoredValue(copy, "kept", "yes"));
  Application::shared().becomeActive();
  // The backup is made newer than the live store, so the next page start restores it.
  const auto later = std::filesystem::last_write_time(live) + std::chrono::seconds(5);
  std::filesystem::last_write_time(copy, later);
  ASSERT_TRUE(host.reload());
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return host.log().contains("Restored: localStorage database"); }));
  EXPECT_EQ(host.eval("localStorage.getItem('kept')"), "yes");
  host.eval("localStorage.setItem('after', 'written')");
  ASSERT_TRUE(waitForStoredValue(live, "after", "written"));
  EXPECT_EQ(storedValue(live, "kept"), "yes");
  EXPECT_EQ(integrityOf(live), "ok");
}

}  // namespace
