#include "instance_id/token_manager.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/dispatch/queue.h"

namespace {

std::string apnsToken(const platform::Dictionary& options) {
  const platform::Value* token = options.find(kVIZInstanceIDTokenOptionsAPNSKey);
  return token ? token->stringOr("") : "";
}

bool isSandbox(const platform::Dictionary& options) {
  const platform::Value* sandbox = options.find(kVIZInstanceIDTokenOptionsAPNSIsSandboxKey);
  return sandbox && sandbox->boolOr(false);
}

// A registrar's "no valid check-in" reaches callers as "still no valid check-in".
std::optional<platform::Error> checkinFailureAsTimeout(
    const std::optional<platform::Error>& error) {
  if (error && error->domain() == kVIZInstanceIDErrorDomain &&
      error->code() == kVIZInstanceIDErrorInvalidCheckin) {
    return VIZInstanceIDError(kVIZInstanceIDErrorTimeout);
  }
  return error;
}

}  // namespace

VIZInstanceIDTokenManager::VIZInstanceIDTokenManager()
    : VIZInstanceIDTokenManager(VIZInstanceIDStore::defaultStore()) {}

VIZInstanceIDTokenManager::VIZInstanceIDTokenManager(std::shared_ptr<VIZInstanceIDStore> store)
    : instanceIDStore_(std::move(store)),
      registrar_(std::make_shared<VIZInstanceIDRegistrar>(instanceIDStore_)) {}

std::optional<std::string> VIZInstanceIDTokenManager::tokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope, const platform::Dictionary& options) {
  if (!VIZInstanceIDIsZCMScope(scope)) return std::nullopt;
  std::optional<std::string> token = instanceIDStore_->tokenWithAuthorizedEntity(entity, scope);
  if (!token || token->empty()) return std::nullopt;
  std::optional<std::string> cachedAPNSToken =
      instanceIDStore_->cachedAPNSTokenForServerType(isSandbox(options));
  if (!cachedAPNSToken || *cachedAPNSToken != apnsToken(options)) return std::nullopt;
  return token;
}

bool VIZInstanceIDTokenManager::invalidateCachedTokenWithAuthorizedEntity(
    const std::string& /*entity*/, const std::string& scope, const platform::Dictionary& options) {
  if (!VIZInstanceIDIsZCMScope(scope)) return false;
  const bool sandbox = isSandbox(options);
  std::optional<std::string> cachedAPNSToken =
      instanceIDStore_->cachedAPNSTokenForServerType(sandbox);
  if (cachedAPNSToken && *cachedAPNSToken == apnsToken(options)) return false;
  std::optional<platform::Error> error;
  if (!instanceIDStore_->removeAllZCMTokens(&error)) {
    VIZ_IID_LOG_ERROR("APNS token changed but failed to delete all ZCM tokens %s",
                      error ? error->description().c_str() : "");
  }
  instanceIDStore_->removeCachedAPNSTokenForServerType(sandbox);
  return cachedAPNSToken && !cachedAPNSToken->empty();
}

void VIZInstanceIDTokenManager::fetchNewTokenWithAuthorizedEntity(
    const std::string& entity, const std::string& scope, const VIZInstanceIDKeyPair& keyPair,
    const platform::Dictionary& options, TokenHandler handler) {
  if (invalidateCachedTokenWithAuthorizedEntity(entity, scope, options)) {
    VIZ_IID_LOG_INFO("APNS token change detected. Successfully deleted cached tokens.");
  }
  registrar_->fetchTokenWithAuthorizedEntity(
      entity, scope, keyPair, options,
      [weakSelf = weak_from_this(), entity, scope, options, handler](
          const std::optional<std::string>& token, const std::optional<platform::Error>& error) {
        std::optional<platform::Error> answer = checkinFailureAsTimeout(error);
        if (!answer && token) {
          if (auto self = weakSelf.lock()) {
            self->instanceIDStore_->saveToken(*token, entity, scope);
            const std::string pushToken = apnsToken(options);
            if (VIZInstanceIDIsZCMScope(scope) && !pushToken.empty()) {
              self->instanceIDStore_->saveAPNSToken(pushToken, isSandbox(options));
            }
          }
        }
        if (!handler) return;
        std::optional<std::string> delivered = answer ? std::nullopt : token;
        platform::mainQueue()->async([handler, delivered, answer] { handler(delivered, answer); });
      });
}

void VIZInstanceIDTokenManager::deleteTokenWithAuthorizedEntity(const std::string& entity,
                                                                const std::string& scope,
                                                                const VIZInstanceIDKeyPair& keyPair,
                                                                ErrorHandler handler) {
  if (!instanceIDStore_->tokenWithAuthorizedEntity(entity, scope)) {
    if (handler) platform::mainQueue()->async([handler] { handler(std::nullopt); });
    return;
  }
  if (instanceIDStore_->cacheTimeForTokenWithAuthorizedEntity(entity, scope) == 0) {
    VIZ_IID_LOG_ERROR("Invalid 0 cache time for instanceID token entity: %s, scope: %s",
                      entity.c_str(), scope.c_str());
  }
  invalidateCachedTokenWithAuthorizedEntity(entity, scope, {});
  deleteRegisteredToken(entity, scope, keyPair, std::move(handler));
}

void VIZInstanceIDTokenManager::deleteAllTokensWithKeyPair(const VIZInstanceIDKeyPair& keyPair,
                                                           ErrorHandler handler) {
  if (!handler) return;
  if (!deleteAllTokensLocally()) {
    platform::mainQueue()->async(
        [handler] { handler(VIZInstanceIDError(kVIZInstanceIDErrorDeleteAllTokens)); });
    return;
  }
  deleteRegisteredToken("*", "*", keyPair, std::move(handler));
}

bool VIZInstanceIDTokenManager::deleteAllTokensLocally(std::optional<platform::Error>* error) {
  return instanceIDStore_->removeAllCachedTokens(error);
}

void VIZInstanceIDTokenManager::deleteRegisteredToken(const std::string& entity,
                                                      const std::string& scope,
                                                      const VIZInstanceIDKeyPair& keyPair,
                                                      ErrorHandler handler) {
  registrar_->deleteTokenWithAuthorizedEntity(
      entity, scope, keyPair,
      [entity, scope, handler](const std::optional<platform::Error>& error) {
        std::optional<platform::Error> answer = checkinFailureAsTimeout(error);
        if (answer) {
          VIZ_IID_LOG_ERROR("Could not delete token for authorizedEntity: %s scope: %s",
                            entity.c_str(), scope.c_str());
        }
        if (handler) platform::mainQueue()->async([handler, answer] { handler(answer); });
      });
}
