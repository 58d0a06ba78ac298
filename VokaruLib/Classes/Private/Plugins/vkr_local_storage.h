#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/foundation/error.h"

inline constexpr const char* kVKRLocalStorageErrorDomain = "kVKRLocalStorageErrorDomain";

// One web storage file or folder and the place of its backup copy.
class VKRBackupInfo {
 public:
  std::filesystem::path original;
  std::filesystem::path backup;
  std::string label;

  // By modification date: false when neither has one or only b has one, true when only a has one,
  // else whether a's is later.
  static bool fileIsNewerThanFile(const std::filesystem::path& a, const std::filesystem::path& b);
  // False when a does not exist; for two folders, whether any file below a is newer than the file
  // at the same place below b; otherwise as fileIsNewerThanFile().
  static bool itemIsNewerThanItem(const std::filesystem::path& a, const std::filesystem::path& b);

  bool shouldBackup() const { return itemIsNewerThanItem(original, backup); }
  bool shouldRestore() const { return itemIsNewerThanItem(backup, original); }
};

// Keeps a copy of the pages' web storage (localStorage and WebSQL databases, which the web engine
// keeps among the app's caches) in Documents/Backups: backed up when the app resigns active or
// ends, restored when a page starts loading. Also the start-up repair of web storage locations
// and backups left by older versions. The "BackupWebStorage" preference chooses "cloud" (the
// default) or "local" (the backup folder is marked excluded from backup).
class VKRLocalStorage : public VKRPlugin {
 public:
  explicit VKRLocalStorage(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  void pluginInitialize() override;
  void onAppTerminate() override { onResignActive(); }
  void onReset() override { restore(nullptr); }

  // The page actions, also run by the plugin itself without a command: copy each entry that
  // changed, telling the command's callback of each copy.
  void backup(const VKRInvokedUrlCommand* command);
  void restore(const VKRInvokedUrlCommand* command);
  bool shouldBackup() const;
  bool shouldRestore() const;
  // The backup, in a background task on the global queue (at once when the app exits on suspend).
  void onResignActive();
  const std::vector<VKRBackupInfo>& backupInfo() const { return backupInfo_; }

  // Caches to Documents/Backups, renaming the copies.
  static std::vector<VKRBackupInfo> createBackupInfoWithCloudBackup(bool cloud);
  // The three entries for a target folder and a backup folder; "nests" puts the files in their
  // "WebKit/LocalStorage" sub-folder, "rename" gives the backups their ".appdata.db" names.
  static std::vector<VKRBackupInfo> createBackupInfoWithTargetDir(
      const std::filesystem::path& targetDir, const std::filesystem::path& backupDir,
      bool targetDirNests, bool backupDirNests, bool rename);
  static bool addSkipBackupAttributeToItemAtURL(const std::filesystem::path& path, bool skip);
  // Replaces the destination with a copy of the source (a file, a folder or an SQLite database,
  // modification dates kept). The destination changes all at once: when the copy fails it keeps
  // its previous content.
  static platform::Status copyFrom(const std::filesystem::path& source,
                                   const std::filesystem::path& destination);

  // At start-up: repairs recorded web storage locations of an older installation, then restores
  // and removes backups left in legacy places; records "WebKitStoreWebDataForBackup".
  static void fixupDatabaseLocationsWithBackupType(const std::string& backupType);
  // The "BackupWebStorage" preference of the settings, "cloud" when it is absent or no text.
  static std::string backupTypeFromSettings(const platform::Dictionary& settings);
  static void verifyAndFixDatabaseLocations();
  static void restoreLegacyDatabaseLocationsWithBackupType(const std::string& backupType);

 private:
  void backupAction(const VKRInvokedUrlCommand& command) { backup(&command); }
  void restoreAction(const VKRInvokedUrlCommand& command) { restore(&command); }

  std::vector<VKRBackupInfo> backupInfo_;
  platform::NotificationCenter::Observation resignObservation_;
};
