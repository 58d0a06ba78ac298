#include "messaging/checkin/zcm_checkin_store.h"

#include "messaging/base/zcm_logger.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/text_number.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

namespace {

// The file's dictionary; empty when it can't be read or isn't a dictionary.
platform::Dictionary readDictionary(const std::filesystem::path& path) {
  platform::Result<platform::Bytes> bytes = platform::FileManager::contentsOfFile(path);
  if (!bytes) return {};
  platform::Result<platform::Value> value = platform::parsePropertyList(*bytes);
  if (!value || !value->isDictionary()) return {};
  return *value->dictionaryIf();
}

// The entries of the record's four keys, a check-in time kept as text read as its number. Any
// other key is logged and left out: the credentials never change here.
platform::Dictionary recordEntries(const platform::Dictionary& contents) {
  platform::Dictionary entries;
  for (const auto& [key, value] : contents) {
    if (key == kZCMCheckinLastCheckinTimestampKey && value.stringIf()) {
      entries.set(key, platform::Value(platform::integerValueOfText(*value.stringIf())));
    } else if (key == kZCMCheckinLastCheckinTimestampKey || key == kZCMCheckinDigestKey ||
               key == kZCMCheckinVersionInfoKey || key == kZCMCheckinZServicesDataKey) {
      entries.set(key, value);
    } else {
      ZCM_LOG_ERROR("Invalid key in checkin plist: %s", key.c_str());
    }
  }
  return entries;
}

}  // namespace

ZCMCheckinStore::ZCMCheckinStore()
    : ZCMCheckinStore(kZCMCheckinPlistFileName, ZCMAuthKeychain(kZCMCheckinKeychainGeneric)) {}

std::filesystem::path ZCMCheckinStore::pathForCheckinPlist(const std::string& fileName) {
  return platform::AppHome::documents() / (fileName + ".plist");
}

bool ZCMCheckinStore::hasCheckinPlist() const {
  return platform::FileManager::fileExists(pathForCheckinPlist());
}

std::optional<ZCMCheckinPreferences> ZCMCheckinStore::cachedCheckinPreferences() {
  platform::Result<std::optional<std::string>> password =
      keychain_.passwordForService(kZCMCheckinKeychainService, kZCMCheckinKeychainAccount);
  std::optional<ZCMCheckinPreferences> preferences;
  if (!password) {
    if (password.error().code() != platform::kKeychainItemNotFound) {
      ZCM_LOG_ERROR("Error while reading checkin auth credentials from keychain %s",
                    password.error().description().c_str());
    }
  } else if (*password) {
    preferences = ZCMCheckinPreferences::preferencesFromKeychainContents(**password);
  }

  if (!hasCheckinPlist()) return std::nullopt;
  const platform::Dictionary contents = readDictionary(pathForCheckinPlist());
  preferences =
      ZCMCheckinPreferences::preferencesWithStoredCredentials(std::move(preferences), contents);
  if (!preferences) return std::nullopt;
  preferences->updateWithCheckinPlistContents(recordEntries(contents));
  return preferences;
}

bool ZCMCheckinStore::removeCheckinPreferences(std::optional<platform::Error>* error) {
  if (!keychain_.removePasswordForService(kZCMCheckinKeychainService, kZCMCheckinKeychainAccount,
                                          error)) {
    return false;
  }
  const std::filesystem::path path = pathForCheckinPlist();
  if (!platform::FileManager::fileExists(path)) return true;
  return platform::FileManager::removeItem(path).ok();
}
