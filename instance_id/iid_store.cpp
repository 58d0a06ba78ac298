#include "instance_id/iid_store.h"

#include <vector>

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "instance_id/registration_client.h"
#include "platform/storage/user_defaults.h"

namespace {

std::optional<std::string> partOfTokenCacheKey(const std::string& key, size_t index) {
  std::vector<std::string> parts = VIZInstanceIDSplit(key, "|");
  if (parts.size() != 4) return std::nullopt;
  return parts[index];
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::shared_ptr<VIZInstanceIDStore> VIZInstanceIDStore::defaultStore() {
  return std::make_shared<VIZInstanceIDStore>(
      std::make_shared<VIZInstanceIDBackupExcludedPlist>(tokenPlistFileName()),
      std::make_shared<VIZInstanceIDCheckinStore>(kVIZInstanceIDCheckinPlistFileName),
      VIZInstanceIDTokenStore::defaultStore());
}

VIZInstanceIDStore::VIZInstanceIDStore(std::shared_ptr<VIZInstanceIDBackupExcludedPlist> tokenPlist,
                                       std::shared_ptr<VIZInstanceIDCheckinStore> checkinStore,
                                       std::shared_ptr<VIZInstanceIDTokenStore> tokenStore)
    : tokenPlist_(std::move(tokenPlist)),
      checkinStore_(std::move(checkinStore)),
      tokenStore_(std::move(tokenStore)) {
  resetNewApp();
  saveLibraryVersion();
  moveTokensToKeychain();
}

std::optional<std::string> VIZInstanceIDStore::tokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope) const {
  if (entity.empty() || scope.empty()) return std::nullopt;
  return tokenStore_->tokenWithAuthorizedEntity(entity, scope);
}

int64_t VIZInstanceIDStore::cacheTimeForTokenWithAuthorizedEntity(const std::string& entity,
                                                                  const std::string& scope) const {
  if (entity.empty() || scope.empty()) return 0;
  return tokenStore_->cacheTimeForTokenWithAuthorizedEntity(entity, scope);
}

void VIZInstanceIDStore::saveToken(const std::string& token, const std::string& entity,
                                   const std::string& scope) {
  tokenStore_->saveToken(token, entity, scope);
}

bool VIZInstanceIDStore::removeAllCachedTokens(std::optional<platform::Error>* error) {
  return tokenStore_->removeAllTokens(error);
}

bool VIZInstanceIDStore::removeAllZCMTokens(std::optional<platform::Error>* error) {
  return tokenStore_->removeZCMTokens(error);
}

std::optional<std::string> VIZInstanceIDStore::cachedAPNSTokenForServerType(bool sandbox) {
  const std::optional<platform::Dictionary>& contents = tokenPlist_->contentAsDictionary();
  const platform::Value* token =
      contents ? contents->find(apnsTokenCacheKeyForServerType(sandbox)) : nullptr;
  if (!token || !token->isString()) return std::nullopt;
  return *token->stringIf();
}

void VIZInstanceIDStore::saveAPNSToken(const std::string& token, bool sandbox) {
  if (token.empty()) return;
  const std::string key = apnsTokenCacheKeyForServerType(sandbox);
  platform::Dictionary contents =
      tokenPlist_->contentAsDictionary().value_or(platform::Dictionary());
  contents.set(key, token);
  if (!tokenPlist_->writeDictionary(contents)) {
    VIZ_IID_LOG_ERROR("Failed to save APNS token with key %s", key.c_str());
  }
}

void VIZInstanceIDStore::removeCachedAPNSTokenForServerType(bool sandbox) {
  const std::string key = apnsTokenCacheKeyForServerType(sandbox);
  std::optional<platform::Dictionary> contents = tokenPlist_->contentAsDictionary();
  if (!contents || !contents->contains(key)) return;
  contents->remove(key);
  if (!tokenPlist_->writeDictionary(*contents)) {
    VIZ_IID_LOG_ERROR("Failed to remove APNS token with key %s", key.c_str());
  }
}

bool VIZInstanceIDStore::saveCheckinPreferences(const VIZInstanceIDCheckinPreferences& preferences,
                                                std::optional<platform::Error>* error) {
  bool saved = checkinStore_->saveCheckinPreferences(preferences, error);
  if (!saved) {
    VIZ_IID_LOG_ERROR("Error while saving checkin credentials %s",
                      error && *error ? (*error)->description().c_str() : "");
  }
  return saved;
}

std::optional<VIZInstanceIDCheckinPreferences> VIZInstanceIDStore::cachedCheckinPreferences() {
  return checkinStore_->cachedCheckinPreferences();
}

bool VIZInstanceIDStore::removeCheckinPreferences(std::optional<platform::Error>* error) {
  bool removed = checkinStore_->removeCheckinPreferences(error);
  if (!removed) {
    VIZ_IID_LOG_ERROR("Cannot remove cached checkin preferences %s",
                      error && *error ? (*error)->description().c_str() : "");
  }
  return removed;
}

bool VIZInstanceIDStore::hasSavedLibraryVersion() {
  return !platform::UserDefaults::standard()
              ->objectForKey(kVIZInstanceIDLibraryVersionKey)
              .isNull();
}

std::string VIZInstanceIDStore::apnsTokenCacheKeyForServerType(bool sandbox) {
  return std::string("|O|VOZInstanceIDApnsTokenKey|") + (sandbox ? "sandbox" : "prod");
}

std::optional<std::string> VIZInstanceIDStore::authorizedEntityInTokenCacheKey(
    const std::string& key) {
  return partOfTokenCacheKey(key, 2);
}

std::optional<std::string> VIZInstanceIDStore::scopeInTokenCacheKey(const std::string& key) {
  return partOfTokenCacheKey(key, 3);
}

void VIZInstanceIDStore::resetNewApp() {
  if (hasSavedLibraryVersion()) return;

  std::optional<VIZInstanceIDCheckinPreferences> oldPreferences;
  if (checkinStore_->hasCheckinPlist()) {
    VIZ_IID_LOG_INFO(
        "No InstanceID version found. Checkin plist found. Will not reset checkin auth "
        "credentials");
  } else {
    oldPreferences = checkinStore_->cachedCheckinPreferences();
    VIZ_IID_LOG_INFO(
        "No InstanceID version, checkin preferences found. Will reset checkin auth credentials.");
    std::optional<platform::Error> error;
    if (checkinStore_->removeCheckinPreferences(&error)) {
      VIZ_IID_LOG_INFO("Detected restore. Successfully reset checkin preferences");
    } else {
      VIZ_IID_LOG_ERROR("Failed to reset checkin auth credentials %s",
                        error ? error->description().c_str() : "");
    }
  }

  if (tokenPlist_->doesFileExist()) {
    VIZ_IID_LOG_INFO("No InstanceID version found. Token plist found. Will not reset tokens.");
  } else {
    std::optional<platform::Error> error;
    if (tokenStore_->removeAllTokens(&error)) {
      VIZ_IID_LOG_INFO("Detected restore. Successfully reset all tokens.");
    } else {
      VIZ_IID_LOG_ERROR("Failed to reset all tokens %s", error ? error->description().c_str() : "");
    }
  }

  if (oldPreferences) deleteZCMTokensOnAppReset(*oldPreferences);
}

void VIZInstanceIDStore::deleteZCMTokensOnAppReset(
    const VIZInstanceIDCheckinPreferences& preferences) {
  if (preferences.deviceID().empty() || preferences.secretToken().empty()) {
    VIZ_IID_LOG_ERROR(
        "App reset detected but no valid checkin auth preferences found. Will not delete server "
        "registrations.");
    return;
  }
  VIZ_IID_LOG_INFO("App reset detected. Will delete server registrations.");
  VIZInstanceIDRegistrationClient::deleteZCMTokenOnAppReset(
      preferences.deviceID(), preferences.secretToken(),
      [](const std::optional<platform::Error>& error) {
        if (error) {
          VIZ_IID_LOG_ERROR("Failed to delete ZCM server registrations on app reset.");
        } else {
          VIZ_IID_LOG_INFO("Successfully deleted ZCM server registrations on app reset");
        }
      });
}

void VIZInstanceIDStore::saveLibraryVersion() {
  const std::string version = VIZInstanceIDCurrentLibraryVersion();
  (void)platform::UserDefaults::standard()->setObject(version, kVIZInstanceIDLibraryVersionKey);
  VIZ_IID_LOG_INFO("Save InstanceID library version %s", version.c_str());
}

void VIZInstanceIDStore::moveTokensToKeychain() {
  if (!VIZInstanceIDRunsStoreMigrations()) return;
  const std::optional<platform::Dictionary> contents = tokenPlist_->contentAsDictionary();
  if (!contents) return;
  const std::string sandboxKey = apnsTokenCacheKeyForServerType(true);
  const std::string productionKey = apnsTokenCacheKeyForServerType(false);
  platform::Dictionary remaining = *contents;
  bool someSaveFailed = false;
  for (const auto& [key, value] : *contents) {
    if (startsWith(key, sandboxKey) || startsWith(key, productionKey)) continue;
    if (startsWith(key, "|T") && !endsWith(key, "-time")) {
      std::optional<std::string> entity = authorizedEntityInTokenCacheKey(key);
      std::optional<std::string> scope = scopeInTokenCacheKey(key);
      const std::string* token = value.stringIf();
      // An entry that cannot be moved stays, so the token is not lost.
      if (!entity || !scope || !token || !tokenStore_->saveToken(*token, *entity, *scope)) {
        someSaveFailed = true;
        continue;
      }
    }
    remaining.remove(key);
  }
  if (someSaveFailed) VIZ_IID_LOG_ERROR("Failed to move some tokens to Keychain.");
  if (remaining.size() < contents->size()) {
    std::optional<platform::Error> error;
    if (!tokenPlist_->writeDictionary(remaining, &error)) {
      VIZ_IID_LOG_ERROR("Failed to remove InstanceID tokens from plist %s",
                        error ? error->description().c_str() : "");
    }
  }
}
