#include "instance_id/token_store.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/foundation/log.h"
#include "platform/foundation/text_number.h"

namespace {
constexpr std::string_view kTokenSeparator = "|Token|";
}  // namespace

std::shared_ptr<VIZInstanceIDTokenStore> VIZInstanceIDTokenStore::defaultStore() {
  // Cached tokens can be fetched again: saving one does not wait for the disk.
  return std::make_shared<VIZInstanceIDTokenStore>(std::make_shared<VIZInstanceIDAuthKeychain>(
      kVIZInstanceIDTokensIdentifier, platform::KeychainWrite::Soon));
}

std::optional<std::string> VIZInstanceIDTokenStore::storedValue(const std::string& entity,
                                                                const std::string& scope) const {
  platform::Result<std::optional<std::string>> value = keychain_->passwordForService(scope, entity);
  if (!value.ok()) {
    VIZ_IID_LOG_ERROR("Unable to find token in cache %s", value.error().description().c_str());
    return std::nullopt;
  }
  return *value;
}

std::optional<std::string> VIZInstanceIDTokenStore::tokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope) const {
  std::optional<std::string> cached = storedValue(entity, scope);
  if (!cached) return std::nullopt;
  std::optional<std::string> token = actualTokenFromCachedToken(*cached);
  if (!token)
    VIZ_IID_LOG_ERROR("Cannot decode cached IID token to get actual token %s", cached->c_str());
  return token;
}

int64_t VIZInstanceIDTokenStore::cacheTimeForTokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope) const {
  std::optional<std::string> cached = storedValue(entity, scope);
  if (!cached) return 0;
  int64_t time = cacheTimeForCachedToken(*cached);
  if (time == 0)
    VIZ_IID_LOG_ERROR("Cannot decode cached IID token to get cache time %s", cached->c_str());
  return time;
}

bool VIZInstanceIDTokenStore::saveToken(const std::string& token, const std::string& entity,
                                        const std::string& scope) {
  // A bare token stored by an older version is left as it is.
  if (keychain_->passwordForService(scope, entity).valueOr(std::nullopt) == token) return true;
  std::optional<platform::Error> error;
  if (keychain_->setPassword(cacheValueForToken(token), scope, std::nullopt, entity, &error)) {
    VIZ_IID_LOG_INFO("Cached new token for authorizedEntity: %s, scope: %s", entity.c_str(),
                     scope.c_str());
    return true;
  }
  VIZ_IID_LOG_ERROR("Error unable to save iid-token to keychain %s",
                    error ? error->description().c_str() : "");
  return false;
}

bool VIZInstanceIDTokenStore::removeTokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope, std::optional<platform::Error>* error) {
  return removeLogged(
      scope, entity, error,
      platform::format("Successfully removed token from keychain for auth entity: %s scope: %s",
                       entity.c_str(), scope.c_str()),
      "Error failed to delete token from Keychain %s");
}

bool VIZInstanceIDTokenStore::removeZCMTokens(std::optional<platform::Error>* error) {
  return removeLogged(kVIZInstanceIDScopeZCM, VIZInstanceIDAuthKeychain::kWildcard, error,
                      "Successfully removed all ZCM tokens",
                      "Error failed to delete all ZCM tokens from keychain %s");
}

bool VIZInstanceIDTokenStore::removeAllTokens(std::optional<platform::Error>* error) {
  return removeLogged(VIZInstanceIDAuthKeychain::kWildcard, VIZInstanceIDAuthKeychain::kWildcard,
                      error, "Successfully removed all IID tokens",
                      "Error failed to remove all tokens from keychain %s");
}

bool VIZInstanceIDTokenStore::removeLogged(const std::string& service, const std::string& account,
                                           std::optional<platform::Error>* error,
                                           const std::string& success, const char* failureFormat) {
  std::optional<platform::Error> removeError;
  bool removed = keychain_->removePasswordForService(service, account, &removeError);
  if (removed) {
    VIZ_IID_LOG_INFO("%s", success.c_str());
  } else {
    VIZ_IID_LOG_ERROR(failureFormat, removeError ? removeError->description().c_str() : "");
  }
  if (error) *error = removeError;
  return removed;
}

std::string VIZInstanceIDTokenStore::cacheKeyForAuthorizedEntity(const std::string& entity,
                                                                 const std::string& scope) {
  return "|T|" + entity + "|" + scope;
}

std::string VIZInstanceIDTokenStore::cacheValueForToken(const std::string& token) {
  return std::to_string(VIZInstanceIDCurrentTimestampInSeconds()) + std::string(kTokenSeparator) +
         token;
}

std::optional<std::string> VIZInstanceIDTokenStore::actualTokenFromCachedToken(
    const std::string& cached) {
  const size_t at = cached.find(kTokenSeparator);
  if (at == std::string::npos || at + kTokenSeparator.size() == cached.size()) return std::nullopt;
  return cached.substr(at + kTokenSeparator.size());
}

int64_t VIZInstanceIDTokenStore::cacheTimeForCachedToken(const std::string& cached) {
  const size_t at = cached.find(kTokenSeparator);
  if (at == std::string::npos || at == 0) return 0;
  return platform::integerValueOfText(cached.substr(0, at));
}
