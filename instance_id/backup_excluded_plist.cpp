#include "instance_id/backup_excluded_plist.h"

#include "instance_id/iid_logger.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

using platform::FileManager;

std::filesystem::path VIZInstanceIDBackupExcludedPlist::pathWithName(const std::string& fileName) {
  return platform::AppHome::documents() / (fileName + ".plist");
}

bool VIZInstanceIDBackupExcludedPlist::writeDictionary(const platform::Dictionary& dictionary,
                                                       std::optional<platform::Error>* error) {
  const std::filesystem::path path = plistPath();
  platform::Result<platform::Bytes> encoded =
      platform::toPropertyList(platform::Value(dictionary), platform::PropertyListFormat::XML);
  platform::Status written = encoded.ok() ? FileManager::writeAtomically(path, *encoded)
                                          : platform::Status(encoded.error());
  if (!written.ok()) {
    VIZ_IID_LOG_ERROR("Failed to write to %s.plist", fileName_.c_str());
    if (error) *error = written.error();
    return false;
  }
  cached_ = dictionary;
  if (error) error->reset();
  if (FileManager::isExcludedFromBackup(path).valueOr(false)) return true;
  platform::Status excluded = FileManager::setExcludedFromBackup(path, true);
  if (!excluded.ok()) {
    VIZ_IID_LOG_ERROR("Error excluding %s from backup, %s", path.filename().c_str(),
                      error ? excluded.error().description().c_str() : "");
    if (error) *error = excluded.error();
    return false;
  }
  return true;
}

bool VIZInstanceIDBackupExcludedPlist::deleteFile(std::optional<platform::Error>* error) {
  cached_.reset();
  if (!doesFileExist()) return true;
  platform::Status removed = FileManager::removeItem(plistPath());
  if (!removed.ok() && error) *error = removed.error();
  return removed.ok();
}

const std::optional<platform::Dictionary>& VIZInstanceIDBackupExcludedPlist::contentAsDictionary() {
  if (!cached_ && doesFileExist()) {
    platform::Result<platform::Bytes> data = FileManager::contentsOfFile(plistPath());
    if (data.ok()) {
      platform::Result<platform::Value> parsed = platform::parsePropertyList(*data);
      if (parsed.ok() && parsed->isDictionary()) cached_ = *parsed->dictionaryIf();
    }
  }
  return cached_;
}

bool VIZInstanceIDBackupExcludedPlist::doesFileExist() const {
  return FileManager::fileExists(plistPath());
}
