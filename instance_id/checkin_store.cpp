#include "instance_id/checkin_store.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/storage/keychain_store.h"

namespace {

std::string textOf(const platform::Dictionary& contents, const char* key) {
  const platform::Value* value = contents.find(key);
  return value ? value->stringOr("") : "";
}

}  // namespace

VIZInstanceIDCheckinStore::VIZInstanceIDCheckinStore(const std::string& checkinPlistFileName)
    : VIZInstanceIDCheckinStore(
          std::make_shared<VIZInstanceIDBackupExcludedPlist>(checkinPlistFileName),
          std::make_shared<VIZInstanceIDAuthKeychain>(kVIZInstanceIDCheckinKeychainGeneric)) {}

VIZInstanceIDCheckinStore::VIZInstanceIDCheckinStore(
    std::shared_ptr<VIZInstanceIDBackupExcludedPlist> plist,
    std::shared_ptr<VIZInstanceIDAuthKeychain> keychain)
    : plist_(std::move(plist)), keychain_(std::move(keychain)) {
  moveCheckinAuthPreferencesToKeychain();
}

bool VIZInstanceIDCheckinStore::saveCheckinPreferences(
    const VIZInstanceIDCheckinPreferences& preferences, std::optional<platform::Error>* error) {
  const platform::Dictionary plistContents = preferences.checkinPlistContents();
  const std::optional<std::string> keychainContent = preferences.checkinKeychainContent();
  if (!keychainContent) {
    VIZ_IID_LOG_ERROR("Failed to get checkin keychain content from memory.");
    if (error) *error = VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin);
    return false;
  }
  if (plistContents.empty()) {
    VIZ_IID_LOG_ERROR("Failed to get checkin plist contents from memory.");
    if (error) *error = VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin);
    return false;
  }
  if (!keychain_->setPassword(*keychainContent, kVIZInstanceIDCheckinKeychainService, std::nullopt,
                              kVIZInstanceIDCheckinKeychainAccount, error)) {
    VIZ_IID_LOG_ERROR("Failed to save checkin auth credentials to Keychain %s",
                      error && *error ? (*error)->description().c_str() : "");
    return false;
  }
  if (plist_->writeDictionary(plistContents, error)) return true;

  VIZ_IID_LOG_ERROR("Failed to save checkin plist contents.Will delete auth credentials");
  std::optional<platform::Error> removeError;
  if (!keychain_->removePasswordForService(kVIZInstanceIDCheckinKeychainService,
                                           kVIZInstanceIDCheckinKeychainAccount, &removeError)) {
    VIZ_IID_LOG_ERROR("Failed to remove checkin auth credentials from Keychain %s.",
                      removeError ? removeError->description().c_str() : "");
  }
  return false;
}

std::optional<VIZInstanceIDCheckinPreferences>
VIZInstanceIDCheckinStore::cachedCheckinPreferences() {
  platform::Result<std::optional<std::string>> keychainText = keychain_->passwordForService(
      kVIZInstanceIDCheckinKeychainService, kVIZInstanceIDCheckinKeychainAccount);
  if (!keychainText.ok()) {
    if (keychainText.error().code() != platform::kKeychainItemNotFound) {
      VIZ_IID_LOG_ERROR("Failed to read checkin auth credentials from keychain %s",
                        keychainText.error().description().c_str());
    }
    return std::nullopt;
  }
  std::optional<VIZInstanceIDCheckinPreferences> preferences;
  if (*keychainText) {
    preferences = VIZInstanceIDCheckinPreferences::preferencesFromKeychainContents(**keychainText);
    // A later successful save replaces the unreadable item.
    if (!preferences)
      VIZ_IID_LOG_ERROR("Cannot parse invalid checkin auth credentials in Keychain");
  }

  const platform::Dictionary contents =
      plist_->cachedPlistContents().value_or(platform::Dictionary());
  preferences = VIZInstanceIDCheckinPreferences::preferencesWithStoredCredentials(
      std::move(preferences), contents);
  if (!preferences) return std::nullopt;
  preferences->updateWithCheckinPlistContents(contents);
  return preferences;
}

bool VIZInstanceIDCheckinStore::removeCheckinPreferences(std::optional<platform::Error>* error) {
  std::optional<platform::Error> keychainError;
  if (keychain_->removePasswordForService(kVIZInstanceIDCheckinKeychainService,
                                          kVIZInstanceIDCheckinKeychainAccount, &keychainError)) {
    return plist_->deleteFile(error);
  }
  if (error) {
    VIZ_IID_LOG_ERROR("Failed to remove checkin auth credentials from Keychain %s",
                      keychainError ? keychainError->description().c_str() : "");
    *error = keychainError;
  }
  return false;
}

void VIZInstanceIDCheckinStore::moveCheckinAuthPreferencesToKeychain() {
  if (!VIZInstanceIDRunsStoreMigrations()) return;
  const std::optional<platform::Dictionary> contents = plist_->contentAsDictionary();
  if (!contents || contents->empty()) return;
  const std::string deviceID = textOf(*contents, kVIZInstanceIDDeviceAuthIdKey);
  const std::string secret = textOf(*contents, kVIZInstanceIDSecretTokenKey);
  if (deviceID.empty() || secret.empty()) return;

  std::optional<platform::Error> error;
  if (!keychain_->setPassword(
          *VIZInstanceIDCheckinPreferences(deviceID, secret).checkinKeychainContent(),
          kVIZInstanceIDCheckinKeychainService, std::nullopt, kVIZInstanceIDCheckinKeychainAccount,
          &error)) {
    VIZ_IID_LOG_ERROR(
        "Failed to save checkin preferences to keychain. Will not remove them from the plist %s",
        error ? error->description().c_str() : "");
    return;
  }
  platform::Dictionary remaining = *contents;
  remaining.remove(kVIZInstanceIDDeviceAuthIdKey);
  remaining.remove(kVIZInstanceIDSecretTokenKey);
  if (!plist_->writeDictionary(remaining)) {
    VIZ_IID_LOG_ERROR("Cannot save checkin preferences with deleted secret to plist");
  }
}
