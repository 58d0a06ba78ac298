#include "VokaruLib/Classes/Private/Plugins/vkr_local_storage.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/application.h"

namespace {

namespace fs = std::filesystem;
using platform::FileManager;
using platform::testing::LogCapture;
using platform::testing::readFile;
using platform::testing::writeFile;

// A small SQLite database holding key/value rows, as the page engine keeps localStorage.
class Database {
 public:
  explicit Database(const fs::path& path) {
    fs::create_directories(path.parent_path());
    sqlite3_open(path.c_str(), &db_);
    exec(
        "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
        "CREATE TABLE IF NOT EXISTS ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value TEXT)");
  }
  ~Database() { sqlite3_close_v2(db_); }
  void set(const std::string& key, const std::string& value) {
    exec("INSERT INTO ItemTable VALUES ('" + key + "', '" + value + "')");
  }
  void exec(const std::string& sql) { sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

  // The rows of a database file, "key=value" in key order; "error" when it cannot be read.
  static std::string rows(const fs::path& path) {
    sqlite3* db = nullptr;
    std::string text;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      text = "error";
    } else if (sqlite3_exec(
                   db, "SELECT key, value FROM ItemTable ORDER BY key",
                   [](void* out, int, char** values, char**) {
                     auto& rows = *static_cast<std::string*>(out);
                     rows += (rows.empty() ? "" : ",") + std::string(values[0]) + "=" + values[1];
                     return 0;
                   },
                   &text, nullptr) != SQLITE_OK) {
      text = "error";
    }
    sqlite3_close_v2(db);
    return text;
  }

 private:
  sqlite3* db_ = nullptr;
};

void setAge(const fs::path& path, double secondsAgo) {
  ASSERT_TRUE(FileManager::setModificationDate(
                  path, platform::Date{platform::now().secondsSince1970 - secondsAgo})
                  .ok());
}

class LocalStorageTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ui::Application::resetShared(); }
  void TearDown() override { platform::ui::Application::resetShared(); }

  vokaru::testing::TestController test_{R"(<widget>
      <preference name="BackupWebStorage" value="local" />
      <feature name="LocalStorage"><param name="ios-package" value="VKRLocalStorage" /></feature>
    </widget>)"};
  fs::path live_ = platform::AppHome::caches() / "file__0.localstorage";
  fs::path backup_ = platform::AppHome::documents() / "Backups" / "localstorage.appdata.db";
};

TEST_F(LocalStorageTest, ACopyReplacesTheDestinationOrLeavesItAsItWas) {
  const fs::path folder = test_.app.appHome() / "work";
  // A file, to a folder that does not exist yet; its date comes along.
  writeFile(folder / "a.txt", "new");
  setAge(folder / "a.txt", 3600);
  ASSERT_TRUE(VKRLocalStorage::copyFrom(folder / "a.txt", folder / "deep/er/a.txt").ok());
  EXPECT_EQ(readFile(folder / "deep/er/a.txt"), "new");
  EXPECT_FALSE(VKRBackupInfo::fileIsNewerThanFile(folder / "a.txt", folder / "deep/er/a.txt"));
  EXPECT_FALSE(VKRBackupInfo::fileIsNewerThanFile(folder / "deep/er/a.txt", folder / "a.txt"));

  // A folder over a folder; a copy that fails half-way (a pipe cannot be copied) keeps the
  // previous folder whole and leaves nothing beside it.
  writeFile(folder / "src/one", "1");
  writeFile(folder / "dst/old", "old");
  ASSERT_TRUE(VKRLocalStorage::copyFrom(folder / "src", folder / "dst").ok());
  EXPECT_EQ(readFile(folder / "dst/one"), "1");
  EXPECT_FALSE(fs::exists(folder / "dst/old"));
  ASSERT_EQ(mkfifo((folder / "src/pipe").c_str(), 0600), 0);
  EXPECT_FALSE(VKRLocalStorage::copyFrom(folder / "src", folder / "dst").ok());
  EXPECT_EQ(readFile(folder / "dst/one"), "1");
  EXPECT_FALSE(fs::exists(folder / "dst/pipe"));
  EXPECT_EQ(*FileManager::contentsOfDirectory(folder),
            (std::vector<std::string>{"a.txt", "deep", "dst", "src"}));

  platform::Status missing = VKRLocalStorage::copyFrom(folder / "none", folder / "dst");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().domain(), kVKRLocalStorageErrorDomain);
  EXPECT_EQ(missing.error().code(), 1);
  EXPECT_EQ(missing.error().localizedDescription(),
            (folder / "none").string() + " file does not exist.");
}

TEST_F(LocalStorageTest, DatabasesAreCopiedWithTheChangesStillInTheirLog) {
  const fs::path folder = test_.app.appHome();
  Database live(folder / "live.db");  // open, as the page engine keeps it
  live.set("k", "v1");
  ASSERT_TRUE(fs::exists(folder / "live.db-wal"));
  ASSERT_TRUE(VKRLocalStorage::copyFrom(folder / "live.db", folder / "copy.db").ok());
  EXPECT_EQ(Database::rows(folder / "copy.db"), "k=v1");

  live.set("k", "v2");
  live.set("m", "x");
  ASSERT_TRUE(VKRLocalStorage::copyFrom(folder / "live.db", folder / "copy.db").ok());
  EXPECT_EQ(Database::rows(folder / "copy.db"), "k=v2,m=x");

  // A source that only looks like a database: the copy fails, the destination keeps its rows.
  writeFile(folder / "broken.db", std::string("SQLite format 3\0", 16) + std::string(200, 'x'));
  EXPECT_FALSE(VKRLocalStorage::copyFrom(folder / "broken.db", folder / "copy.db").ok());
  EXPECT_EQ(Database::rows(folder / "copy.db"), "k=v2,m=x");
}

TEST_F(LocalStorageTest, NewerItemsAreCopiedEachWay) {
  VKRBackupInfo info{test_.app.appHome() / "a", test_.app.appHome() / "b", "x"};
  EXPECT_FALSE(info.shouldBackup());  // neither exists
  writeFile(info.original, "1");
  EXPECT_TRUE(info.shouldBackup());
  EXPECT_FALSE(info.shouldRestore());
  writeFile(info.backup, "2");
  setAge(info.original, 60);
  EXPECT_FALSE(info.shouldBackup());
  EXPECT_TRUE(info.shouldRestore());

  // Folders: any file below that is newer than its counterpart.
  const fs::path a = test_.app.appHome() / "fa", b = test_.app.appHome() / "fb";
  writeFile(a / "x/one", "1");
  writeFile(b / "x/one", "1");
  setAge(a / "x/one", 60);
  EXPECT_FALSE(VKRBackupInfo::itemIsNewerThanItem(a, b));
  writeFile(a / "x/two", "2");
  EXPECT_TRUE(VKRBackupInfo::itemIsNewerThanItem(a, b));
}

TEST_F(LocalStorageTest, TheBackupSetAndItsFolderMark) {
  const std::vector<VKRBackupInfo> local = VKRLocalStorage::createBackupInfoWithCloudBackup(false);
  const fs::path backups = platform::AppHome::documents() / "Backups";
  ASSERT_EQ(local.size(), 3u);
  EXPECT_EQ(local[0].original, live_);
  EXPECT_EQ(local[0].backup, backup_);
  EXPECT_EQ(local[0].label, "localStorage database");
  EXPECT_EQ(local[1].backup, backups / "websqlmain.appdata.db");
  EXPECT_EQ(local[2].original, platform::AppHome::caches() / "file__0");
  EXPECT_TRUE(*FileManager::isExcludedFromBackup(backups));
  VKRLocalStorage::createBackupInfoWithCloudBackup(true);
  EXPECT_FALSE(*FileManager::isExcludedFromBackup(backups));

  const std::vector<VKRBackupInfo> nested =
      VKRLocalStorage::createBackupInfoWithTargetDir("/t", "/b", true, true, false);
  EXPECT_EQ(nested[1].original, "/t/WebKit/LocalStorage/Databases.db");
  EXPECT_EQ(nested[1].backup, "/b/WebKit/LocalStorage/Databases.db");
}

TEST_F(LocalStorageTest, ThePageActionsTellEachCopy) {
  LogCapture log;
  auto plugin = std::dynamic_pointer_cast<VKRLocalStorage>(
      test_.controller->getCommandInstance("LocalStorage"));
  ASSERT_NE(plugin, nullptr);
  // Nothing yet: nothing copied, nothing sent.
  test_.controller->commandQueue()->enqueueCommandBatch(
      R"([["LocalStorage1","LocalStorage","backup",[]]])");
  test_.controller->commandQueue()->executePending();
  platform::testing::drainMainLoop();
  EXPECT_TRUE(test_.engine->scripts().empty());

  { Database(live_).set("k", "v"); }
  test_.controller->commandQueue()->enqueueCommandBatch(
      R"([["LocalStorage2","LocalStorage","backup",[]]])");
  test_.controller->commandQueue()->executePending();
  platform::testing::drainMainLoop();
  ASSERT_EQ(test_.engine->scripts().size(), 1u);
  EXPECT_EQ(test_.engine->scripts()[0],
            "vokaru.require('vokaru/exec').nativeCallback('LocalStorage2',1,\"Backed up: "
            "localStorage database\",0, 0)");
  EXPECT_EQ(Database::rows(backup_), "k=v");
  EXPECT_TRUE(log.contains("Backed up: localStorage database"));

  // A page reset restores what is newer in the backup; without a command to answer, the result
  // is refused by the command delegate.
  setAge(live_, 120);
  fs::remove(fs::path(live_.string() + "-wal"));
  log.clear();
  plugin->onReset();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Restored: localStorage database",
                                                   "Invalid callback id received by "
                                                   "sendPluginResult"}));
}

TEST_F(LocalStorageTest, ResigningActiveBacksUpInABackgroundTask) {
  auto plugin = std::dynamic_pointer_cast<VKRLocalStorage>(
      test_.controller->getCommandInstance("LocalStorage"));
  { Database(live_).set("k", "v"); }
  platform::ui::Application& application = platform::ui::Application::shared();
  application.becomeActive();
  application.resignActive();
  EXPECT_EQ(application.backgroundTaskCount(), 1u);
  ASSERT_TRUE(
      platform::testing::runMainLoopUntil([&] { return application.backgroundTaskCount() == 0; }));
  EXPECT_EQ(Database::rows(backup_), "k=v");
}

TEST_F(LocalStorageTest, LocationsOfAnOlderInstallationAreRepaired) {
  LogCapture log;
  std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
  const fs::path root = platform::AppHome::root();
  ASSERT_TRUE(defaults->setObject("/old/root/Library/Caches", "WebDatabaseDirectory").ok());
  ASSERT_TRUE(defaults
                  ->setObject((root / "Library/Caches").string(),
                              "WebKitLocalStorageDatabasePathPreferenceKey")
                  .ok());
  platform::AppHome::caches();  // exists
  VKRLocalStorage::verifyAndFixDatabaseLocations();
  EXPECT_EQ(defaults->stringForKey("WebDatabaseDirectory"), (root / "Library/Caches").string());
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Fix applied for database locations?: YES"}));
  log.clear();
  VKRLocalStorage::verifyAndFixDatabaseLocations();
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(LocalStorageTest, LegacyBackupsAreRestoredAndRemoved) {
  LogCapture log;
  const fs::path library = platform::AppHome::library();
  const fs::path legacy = library / "WebKit/LocalStorage/file__0.localstorage";
  // Local: a copy in the library's nested place goes to the caches.
  { Database(legacy).set("k", "legacy"); }
  VKRLocalStorage::restoreLegacyDatabaseLocationsWithBackupType("local");
  EXPECT_EQ(Database::rows(live_), "k=legacy");
  EXPECT_FALSE(fs::exists(legacy));
  EXPECT_TRUE(log.contains("Restoring old webstorage backup. From: '" + legacy.string() +
                           "' To: '" + live_.string() + "'."));
  EXPECT_TRUE(log.contains("Removing old webstorage backup: '" + legacy.string() + "'."));
  EXPECT_FALSE(platform::UserDefaults::standard()->boolForKey("WebKitStoreWebDataForBackup"));

  // Cloud: the documents' backup goes to the library's nested place.
  { Database(backup_).set("k", "cloud"); }
  VKRLocalStorage::restoreLegacyDatabaseLocationsWithBackupType("cloud");
  EXPECT_EQ(Database::rows(legacy), "k=cloud");
  EXPECT_FALSE(fs::exists(backup_));
  EXPECT_TRUE(platform::UserDefaults::standard()->boolForKey("WebKitStoreWebDataForBackup"));
}

}  // namespace
