#include "VokaruLib/Classes/Private/Plugins/vkr_local_storage.h"

#include <sqlite3.h>

#include <fstream>
#include <optional>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"

namespace fs = std::filesystem;
using platform::FileManager;

namespace {

constexpr const char* kStoreWebDataForBackupKey = "WebKitStoreWebDataForBackup";
constexpr const char* kDatabaseLocationKeys[] = {"WebKitLocalStorageDatabasePathPreferenceKey",
                                                 "WebDatabaseDirectory"};

std::optional<platform::Date> fileModificationDate(const fs::path& path) {
  platform::Result<platform::FileAttributes> attributes = FileManager::attributesOfItem(path);
  if (!attributes.ok()) return std::nullopt;
  return attributes->modificationDate;
}

// A database's write-ahead log holds its latest changes until they reach the file itself.
fs::path writeAheadLogOf(const fs::path& database) {
  fs::path log = database;
  log += "-wal";
  return log;
}

// When the item last changed: a database in write-ahead mode changes through its log.
std::optional<platform::Date> modificationDate(const fs::path& path) {
  std::optional<platform::Date> date = fileModificationDate(path);
  std::optional<platform::Date> logDate = fileModificationDate(writeAheadLogOf(path));
  if (date && logDate && logDate->secondsSince1970 > date->secondsSince1970) return logDate;
  return date;
}

bool isDatabase(const fs::path& path) {
  static constexpr char kHeader[16] = "SQLite format 3";  // with its NUL
  char header[16] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(header, sizeof header) && std::equal(header, header + 16, kHeader);
}

// Copies a database through SQLite, so that changes still in its log come along and the page
// engine, which may have either open, sees a whole database: the destination changes in one
// transaction, or not at all.
platform::Status copyDatabase(const fs::path& source, const fs::path& destination) {
  sqlite3* from = nullptr;
  sqlite3* to = nullptr;
  int result = sqlite3_open_v2(source.c_str(), &from, SQLITE_OPEN_READWRITE, nullptr);
  if (result == SQLITE_OK) {
    result = sqlite3_open_v2(destination.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
  }
  if (result == SQLITE_OK) {
    // The page engine holds its locks only briefly.
    sqlite3_busy_timeout(from, 2000);
    sqlite3_busy_timeout(to, 2000);
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    result = backup ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(to);
    if (backup) sqlite3_backup_finish(backup);
  }
  sqlite3_close_v2(from);
  sqlite3_close_v2(to);
  if (result == SQLITE_DONE) return platform::okStatus();
  return platform::Error::withDescription(
      kVKRLocalStorageErrorDomain, 2,
      platform::format("%s could not be copied: %s", source.c_str(), sqlite3_errstr(result)));
}

bool isDirectory(const fs::path& path) {
  bool directory = false;
  return FileManager::fileExists(path, &directory) && directory;
}

// Gives the copy (a file or a folder tree) the modification dates of its source, so that the two
// read as equally new.
void keepModificationDates(const fs::path& source, const fs::path& copy) {
  if (isDirectory(source)) {
    platform::Result<std::vector<std::string>> paths = FileManager::subpathsOfDirectory(source);
    if (paths.ok()) {
      for (const std::string& path : *paths) keepModificationDates(source / path, copy / path);
    }
  }
  if (std::optional<platform::Date> date = modificationDate(source)) {
    (void)FileManager::setModificationDate(copy, *date);
  }
}

fs::path besideWithSuffix(const fs::path& path, const char* suffix) {
  fs::path result = path;
  result += "." + platform::randomUUIDString() + suffix;
  return result;
}

platform::Error renameError(const std::error_code& error, const fs::path& path) {
  return FileManager::errorForErrno(error.value(), path, FileManager::Access::Write);
}

// Puts the staged copy in the destination's place. A file replaces a file in one step; otherwise
// the previous item moves aside first and comes back when the staged copy cannot take its place.
platform::Status replaceWithStaged(const fs::path& staged, const fs::path& destination) {
  if (!isDirectory(destination)) return FileManager::replaceItem(staged, destination);
  std::error_code error;
  const fs::path previous = besideWithSuffix(destination, ".old");
  fs::rename(destination, previous, error);
  if (error) return renameError(error, destination);
  fs::rename(staged, destination, error);
  if (error) {
    std::error_code ignored;
    fs::rename(previous, destination, ignored);
    return renameError(error, destination);
  }
  (void)FileManager::removeItem(previous);
  return platform::okStatus();
}

struct CopyOutcome {
  const VKRBackupInfo* entry;
  platform::Status status;
};

// Copies each entry that wants it, backup (original to backup) or restore (the other way).
std::vector<CopyOutcome> copyEntries(const std::vector<VKRBackupInfo>& entries, bool toBackup) {
  std::vector<CopyOutcome> outcomes;
  for (const VKRBackupInfo& entry : entries) {
    if (toBackup ? !entry.shouldBackup() : !entry.shouldRestore()) continue;
    platform::Status copied = toBackup ? VKRLocalStorage::copyFrom(entry.original, entry.backup)
                                       : VKRLocalStorage::copyFrom(entry.backup, entry.original);
    outcomes.push_back({&entry, std::move(copied)});
  }
  return outcomes;
}

// Logs each copy's outcome ("<donePrefix><label>", or the operation's error) and sends it to the
// callback id.
void report(const std::shared_ptr<VKRCommandDelegate>& delegate,
            const std::vector<CopyOutcome>& outcomes, const char* donePrefix, const char* operation,
            const std::optional<std::string>& callbackId) {
  for (const CopyOutcome& outcome : outcomes) {
    const std::string message =
        outcome.status.ok() ? donePrefix + outcome.entry->label
                            : "Error in VKRLocalStorage (" + outcome.entry->label + ") " +
                                  operation + ": " + outcome.status.error().localizedDescription();
    platform::log(message);
    if (delegate) {
      delegate->sendPluginResult(
          VKRPluginResult::resultWithStatus(
              outcome.status.ok() ? kVKRCommandStatusOK : kVKRCommandStatusError, message),
          callbackId);
    }
  }
}

}  // namespace

// Backup entries.

bool VKRBackupInfo::fileIsNewerThanFile(const fs::path& a, const fs::path& b) {
  std::optional<platform::Date> aDate = modificationDate(a);
  std::optional<platform::Date> bDate = modificationDate(b);
  if (!aDate) return false;
  if (!bDate) return true;
  return aDate->secondsSince1970 > bDate->secondsSince1970;
}

bool VKRBackupInfo::itemIsNewerThanItem(const fs::path& a, const fs::path& b) {
  if (!FileManager::fileExists(a)) return false;
  if (isDirectory(a) && isDirectory(b)) {
    platform::Result<std::vector<std::string>> paths = FileManager::subpathsOfDirectory(a);
    if (!paths.ok()) return false;
    for (const std::string& path : *paths) {
      if (fileIsNewerThanFile(a / path, b / path)) return true;
    }
    return false;
  }
  return fileIsNewerThanFile(a, b);
}

// The plugin.

VKRLocalStorage::VKRLocalStorage(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("backup", &VKRLocalStorage::backupAction);
  addAction("restore", &VKRLocalStorage::restoreAction);
}

void VKRLocalStorage::pluginInitialize() {
  resignObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::ui::kApplicationWillResignActiveNotification, nullptr,
      [this](const platform::Notification&) { onResignActive(); });
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  const platform::Dictionary preferences = delegate ? delegate->settings() : platform::Dictionary();
  const platform::Value* type = vokaruSettingForKey(preferences, "BackupWebStorage");
  backupInfo_ =
      createBackupInfoWithCloudBackup(type && type->stringIf() && *type->stringIf() == "cloud");
}

bool VKRLocalStorage::shouldBackup() const {
  for (const VKRBackupInfo& entry : backupInfo_) {
    if (entry.shouldBackup()) return true;
  }
  return false;
}

bool VKRLocalStorage::shouldRestore() const {
  for (const VKRBackupInfo& entry : backupInfo_) {
    if (entry.shouldRestore()) return true;
  }
  return false;
}

void VKRLocalStorage::backup(const VKRInvokedUrlCommand* command) {
  const std::vector<CopyOutcome> outcomes = copyEntries(backupInfo_, true);
  if (!command || !command->callbackId()) return;
  report(commandDelegate(), outcomes, "Backed up: ", "backup", command->callbackId());
}

// Without a command the outcomes still go to the delegate, which turns the missing id away.
void VKRLocalStorage::restore(const VKRInvokedUrlCommand* command) {
  report(commandDelegate(), copyEntries(backupInfo_, false), "Restored: ", "restore",
         command ? command->callbackId() : std::nullopt);
}

void VKRLocalStorage::onResignActive() {
  const platform::Value& exitsOnSuspend =
      platform::Bundle::mainBundle()->objectForInfoDictionaryKey("UIApplicationExitsOnSuspend");
  if (exitsOnSuspend.boolOr(false)) {
    backup(nullptr);
    return;
  }
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  // Desktop processes always multitask: the backup runs in a background task.
  auto task = std::make_shared<platform::ui::BackgroundTaskIdentifier>();
  *task = platform::ui::Application::shared().beginBackgroundTask([task] {
    platform::ui::Application::shared().endBackgroundTask(*task);
    platform::log("Background task to backup WebSQL/LocalStorage expired.");
  });
  delegate->runInBackground([entries = backupInfo_, id = *task] {
    copyEntries(entries, true);
    platform::ui::Application::shared().endBackgroundTask(id);
  });
}

// Backup sets and copies.

std::vector<VKRBackupInfo> VKRLocalStorage::createBackupInfoWithCloudBackup(bool cloud) {
  const fs::path target = platform::AppHome::caches();
  const fs::path backups = platform::AppHome::documents() / "Backups";
  platform::Status created = FileManager::createDirectory(backups, true);
  if (!created.ok()) platform::log(created.error().description());
  addSkipBackupAttributeToItemAtURL(backups, !cloud);
  return createBackupInfoWithTargetDir(target, backups, false, false, true);
}

std::vector<VKRBackupInfo> VKRLocalStorage::createBackupInfoWithTargetDir(const fs::path& targetDir,
                                                                          const fs::path& backupDir,
                                                                          bool targetDirNests,
                                                                          bool backupDirNests,
                                                                          bool rename) {
  const fs::path nest = fs::path("WebKit") / "LocalStorage";
  const fs::path target = targetDirNests ? targetDir / nest : targetDir;
  const fs::path backup = backupDirNests ? backupDir / nest : backupDir;
  struct Names {
    const char* label;
    const char* original;
    const char* renamed;
  };
  static constexpr Names kEntries[] = {
      {"localStorage database", "file__0.localstorage", "localstorage.appdata.db"},
      {"websql main database", "Databases.db", "websqlmain.appdata.db"},
      {"websql databases", "file__0", "websqldbs.appdata.db"},
  };
  std::vector<VKRBackupInfo> entries;
  for (const Names& names : kEntries) {
    entries.push_back(
        {target / names.original, backup / (rename ? names.renamed : names.original), names.label});
  }
  return entries;
}

bool VKRLocalStorage::addSkipBackupAttributeToItemAtURL(const fs::path& path, bool skip) {
  platform::Status marked = FileManager::setExcludedFromBackup(path, skip);
  if (marked.ok()) return true;
  platform::logf("Error excluding %s from backup %s", path.filename().c_str(),
                 marked.error().description().c_str());
  return false;
}

platform::Status VKRLocalStorage::copyFrom(const fs::path& source, const fs::path& destination) {
  if (!FileManager::fileExists(source)) {
    return platform::Error::withDescription(
        kVKRLocalStorageErrorDomain, 1,
        platform::format("%s file does not exist.", source.c_str()));
  }
  if (platform::Status created = FileManager::createDirectory(destination.parent_path(), true);
      !created.ok()) {
    return created;
  }
  if (!isDirectory(source) && isDatabase(source)) {
    platform::Status copied = copyDatabase(source, destination);
    if (copied.ok()) keepModificationDates(source, destination);
    return copied;
  }
  // Staged beside the destination, so that it takes the destination's place in one rename.
  const fs::path staged = besideWithSuffix(destination, ".bak");
  if (platform::Status copied = FileManager::copyItem(source, staged); !copied.ok()) {
    return copied;
  }
  keepModificationDates(source, staged);
  platform::Status placed = replaceWithStaged(staged, destination);
  if (!placed.ok()) (void)FileManager::removeItem(staged);
  return placed;
}

// Start-up repair.

std::string VKRLocalStorage::backupTypeFromSettings(const platform::Dictionary& settings) {
  const platform::Value* backup = vokaruSettingForKey(settings, "BackupWebStorage");
  return backup && backup->stringIf() ? *backup->stringIf() : "cloud";
}

void VKRLocalStorage::fixupDatabaseLocationsWithBackupType(const std::string& backupType) {
  verifyAndFixDatabaseLocations();
  restoreLegacyDatabaseLocationsWithBackupType(backupType);
}

// Locations recorded by an installation in another place are moved into this app home.
void VKRLocalStorage::verifyAndFixDatabaseLocations() {
  const fs::path root = platform::AppHome::root();
  const std::string rootPrefix = (root / "").string();
  std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
  bool changed = false;
  for (const char* key : kDatabaseLocationKeys) {
    std::optional<std::string> location = defaults->stringForKey(key);
    if (!location || location->compare(0, rootPrefix.size(), rootPrefix) == 0) continue;
    const fs::path caches = root / "Library" / "Caches";
    const fs::path fixed = FileManager::fileExists(caches) ? caches : root / "Library" / "WebKit";
    (void)defaults->setObject(fixed.string(), key);
    changed = true;
  }
  if (!changed) return;
  const bool written = defaults->synchronize();
  platform::logf("Fix applied for database locations?: %s", written ? "YES" : "NO");
}

void VKRLocalStorage::restoreLegacyDatabaseLocationsWithBackupType(const std::string& backupType) {
  const fs::path library = platform::AppHome::library();
  const fs::path documents = platform::AppHome::documents();
  std::vector<VKRBackupInfo> entries;
  if (backupType == "cloud") {
    entries = createBackupInfoWithTargetDir(library, documents / "Backups", true, false, true);
    std::vector<VKRBackupInfo> cached =
        createBackupInfoWithTargetDir(library, library / "Caches", true, false, false);
    entries.insert(entries.end(), cached.begin(), cached.end());
  } else {
    entries = createBackupInfoWithTargetDir(library / "Caches", library, false, true, false);
  }
  for (const VKRBackupInfo& entry : entries) {
    if (!FileManager::fileExists(entry.backup)) continue;
    if (entry.shouldRestore()) {
      platform::logf("Restoring old webstorage backup. From: '%s' To: '%s'.", entry.backup.c_str(),
                     entry.original.c_str());
      platform::Status copied = copyFrom(entry.backup, entry.original);
      // A backup that could not be put back is kept rather than lost.
      if (!copied.ok()) {
        platform::log(copied.error().description());
        continue;
      }
    }
    platform::logf("Removing old webstorage backup: '%s'.", entry.backup.c_str());
    (void)FileManager::removeItem(entry.backup);
  }
  (void)platform::UserDefaults::standard()->setObject(backupType == "cloud",
                                                      kStoreWebDataForBackupKey);
}
