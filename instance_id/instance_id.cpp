#include "instance_id/instance_id.h"

#include "instance_id/iid_utilities.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "toolbox/logger/log_filters.h"

namespace {

platform::Mutex sharedMutex;
std::shared_ptr<VIZInstanceID> sharedIID VKR_GUARDED_BY(sharedMutex);

platform::Error iidError(int64_t code) { return VIZInstanceIDError(code); }

void answerToken(const VIZInstanceID::TokenHandler& handler, std::optional<std::string> token,
                 std::optional<platform::Error> error) {
  if (!handler) return;
  platform::mainQueue()->async(
      [handler, token = std::move(token), error = std::move(error)] { handler(token, error); });
}

void answer(const VIZInstanceID::ErrorHandler& handler, std::optional<platform::Error> error) {
  if (!handler) return;
  platform::mainQueue()->async([handler, error = std::move(error)] { handler(error); });
}

}  // namespace

std::shared_ptr<VIZInstanceID> VIZInstanceID::sharedInstance() {
  platform::MutexLock lock(sharedMutex);
  if (!sharedIID) sharedIID = std::make_shared<VIZInstanceID>();
  return sharedIID;
}

void VIZInstanceID::resetSharedInstanceForTesting() {
  std::shared_ptr<VIZInstanceID> previous;
  platform::MutexLock lock(sharedMutex);
  previous = std::exchange(sharedIID, std::make_shared<VIZInstanceID>());
}

int32_t VIZInstanceID::ztmLoggerLevelForVIZInstanceIDLogLevel(int8_t level) {
  return level >= 0 && level <= 3 ? level + 1 : kZTMLoggerLevelDebug;
}

void VIZInstanceID::startWithConfig(const VIZInstanceIDConfig& config) {
  VIZInstanceIDLogger().setFilter(ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(
      ztmLoggerLevelForVIZInstanceIDLogLevel(config.logLevel())));
  platform::MutexLock lock(mutex_);
  if (!tokenManager_) tokenManager_ = std::make_shared<VIZInstanceIDTokenManager>();
  if (!keyPairManager_) keyPairManager_ = std::make_shared<VIZInstanceIDKeyPairManager>();
  refreshTokenDelegate_ = config.delegate();
  if (!zcmMessageObservation_.active()) {
    zcmMessageObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        kVIZInstanceIDZCMMessageNotification, nullptr,
        [weakSelf = weak_from_this()](const platform::Notification& notification) {
          if (auto self = weakSelf.lock()) self->didReceiveZCMMessage(notification);
        },
        platform::mainQueue());
  }
}

VIZInstanceID::Managers VIZInstanceID::managers() const {
  platform::MutexLock lock(mutex_);
  return {tokenManager_, keyPairManager_};
}

std::string VIZInstanceID::deviceAuthID() {
  Managers current = managers();
  return current.tokenManager ? current.tokenManager->registrar().deviceAuthID() : "";
}

std::string VIZInstanceID::secretToken() {
  Managers current = managers();
  return current.tokenManager ? current.tokenManager->registrar().secretToken() : "";
}

void VIZInstanceID::stopAllRequests() {
  Managers current = managers();
  if (!current.tokenManager) return;
  platform::runOnMainThread(
      [tokenManager = current.tokenManager] { tokenManager->stopAllRequests(); });
}

void VIZInstanceID::fetchCheckinInfoWithHandler(ErrorHandler handler) {
  Managers current = managers();
  if (!current.tokenManager) return answer(handler, iidError(kVIZInstanceIDErrorNotStarted));
  platform::runOnMainThread([tokenManager = current.tokenManager, handler] {
    tokenManager->registrar().fetchCheckinInfoWithHandler(
        [weakManager = std::weak_ptr(tokenManager),
         handler](const std::optional<platform::Error>& error) {
          if (!error || error->domain() != kVIZInstanceIDErrorDomain ||
              error->code() != kVIZInstanceIDErrorCheckinInProgress) {
            return answer(handler, error);
          }
          // Another check-in runs: look again once it had time to finish; no second request.
          platform::dispatchAfter(platform::seconds(waitIntervalForCheckinRefresh()),
                                  platform::mainQueue(), [weakManager, handler] {
                                    auto manager = weakManager.lock();
                                    if (manager && manager->registrar().hasValidCheckinInfo()) {
                                      if (handler) handler(std::nullopt);
                                    } else if (handler) {
                                      handler(iidError(kVIZInstanceIDErrorTimeout));
                                    }
                                  });
        });
  });
}

platform::Dictionary VIZInstanceID::replaceAPNSDataWithString(const platform::Dictionary& options) {
  const platform::Value* token = options.find(kVIZInstanceIDTokenOptionsAPNSKey);
  if (!token || !token->isData()) return options;
  const platform::Value* sandbox = options.find(kVIZInstanceIDTokenOptionsAPNSIsSandboxKey);
  platform::Dictionary replaced = options;
  replaced.set(kVIZInstanceIDTokenOptionsAPNSKey,
               VIZInstanceIDAPNSTokenString(*token->dataIf(), sandbox && sandbox->boolOr(false)));
  return replaced;
}

bool VIZInstanceID::verifyNewTokenOptions(const platform::Dictionary& options) {
  const auto allowed = VIZInstanceIDTokenOptionKeys();
  for (const auto& [key, value] : options) {
    if (!allowed.contains(key) || !(value.isString() || value.isNumber())) return false;
  }
  return true;
}

void VIZInstanceID::withKeyPair(const std::shared_ptr<VIZInstanceIDKeyPairManager>& keyPairManager,
                                std::function<void(const VIZInstanceIDKeyPair&)> next,
                                std::function<void(const platform::Error&)> onError) {
  // A pair already in memory needs no trip through a global queue to the keychain.
  if (std::optional<VIZInstanceIDKeyPair> held = keyPairManager->heldKeyPair()) {
    if (platform::isMainThread()) return next(*held);
    platform::mainQueue()->async([held = std::move(*held), next = std::move(next)] { next(held); });
    return;
  }
  platform::globalQueue()->async(
      [keyPairManager, next = std::move(next), onError = std::move(onError)] {
        platform::Result<VIZInstanceIDKeyPair> keyPair = keyPairManager->loadKeyPair();
        platform::mainQueue()->async([keyPair = std::move(keyPair), next, onError] {
          if (keyPair.ok()) {
            next(*keyPair);
          } else {
            onError(iidError(kVIZInstanceIDErrorKeyPairLoad));
          }
        });
      });
}

void VIZInstanceID::tokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                              const platform::Dictionary& options,
                                              TokenHandler handler) {
  const bool zcm = VIZInstanceIDIsZCMScope(scope);
  const platform::Value* pushToken = options.find(kVIZInstanceIDTokenOptionsAPNSKey);
  Managers current = managers();
  std::optional<int64_t> failure;
  if (zcm && !pushToken) {
    failure = kVIZInstanceIDErrorMissingAPNSToken;
  } else if (zcm && !options.contains(kVIZInstanceIDTokenOptionsAPNSIsSandboxKey)) {
    failure = kVIZInstanceIDErrorMissingAPNSServerType;
  } else if (zcm && !pushToken->isData()) {
    failure = kVIZInstanceIDErrorUnknown;
  } else if (entity.empty()) {
    failure = kVIZInstanceIDErrorInvalidAuthorizedEntity;
  } else if (scope.empty()) {
    failure = kVIZInstanceIDErrorInvalidScope;
  } else if (!current.keyPairManager) {
    failure = kVIZInstanceIDErrorNotStarted;
  }
  if (failure) return answerToken(handler, std::nullopt, iidError(*failure));

  const platform::Dictionary tokenOptions = replaceAPNSDataWithString(options);
  if (!verifyNewTokenOptions(tokenOptions)) {
    VIZ_IID_LOG_ERROR("Invalid options specified in request with entity %s, scope %s",
                      entity.c_str(), scope.c_str());
  }
  fetchCheckinInfoWithHandler([weakSelf = weak_from_this(), current, entity, scope, tokenOptions,
                               handler](const std::optional<platform::Error>& error) {
    auto self = weakSelf.lock();
    if (error || !self) return answerToken(handler, std::nullopt, error);
    std::optional<std::string> cached =
        current.tokenManager->tokenWithAuthorizedEntity(entity, scope, tokenOptions);
    if (cached && !cached->empty()) return answerToken(handler, cached, std::nullopt);
    withKeyPair(
        current.keyPairManager,
        [current, entity, scope, tokenOptions, handler](const VIZInstanceIDKeyPair& keyPair) {
          current.tokenManager->fetchNewTokenWithAuthorizedEntity(entity, scope, keyPair,
                                                                  tokenOptions, handler);
        },
        [handler](const platform::Error& loadError) {
          answerToken(handler, std::nullopt, loadError);
        });
  });
}

void VIZInstanceID::deleteTokenWithAuthorizedEntity(const std::string& entity,
                                                    const std::string& scope,
                                                    ErrorHandler handler) {
  Managers current = managers();
  if (entity.empty()) return answer(handler, iidError(kVIZInstanceIDErrorInvalidAuthorizedEntity));
  if (scope.empty()) return answer(handler, iidError(kVIZInstanceIDErrorInvalidScope));
  if (!current.keyPairManager) return answer(handler, iidError(kVIZInstanceIDErrorNotStarted));
  fetchCheckinInfoWithHandler([weakSelf = weak_from_this(), current, entity, scope,
                               handler](const std::optional<platform::Error>& error) {
    auto self = weakSelf.lock();
    if (error || !self) return answer(handler, error);
    withKeyPair(
        current.keyPairManager,
        [current, entity, scope, handler](const VIZInstanceIDKeyPair& keyPair) {
          current.tokenManager->deleteTokenWithAuthorizedEntity(entity, scope, keyPair, handler);
        },
        [handler](const platform::Error& loadError) { answer(handler, loadError); });
  });
}

void VIZInstanceID::getIDWithHandler(IDHandler handler) {
  if (!handler) return;
  Managers current = managers();
  if (!current.keyPairManager) {
    return answerToken(handler, std::nullopt, iidError(kVIZInstanceIDErrorNotStarted));
  }
  platform::globalQueue()->async([keyPairManager = current.keyPairManager, handler] {
    platform::Result<std::string> identity = keyPairManager->appIdentity();
    if (identity.ok()) return answerToken(handler, *identity, std::nullopt);
    platform::Error error = identity.error();
    if (error.domain() == kVIZInstanceIDErrorDomain) {
      if (error.code() == kVIZInstanceIDErrorEmptyKeyTag ||
          error.code() == kVIZInstanceIDErrorMissingCreationTime) {
        error = iidError(kVIZInstanceIDErrorKeyPairLoad);
      } else if (error.code() == kVIZInstanceIDErrorMissingPrivateKey ||
                 error.code() == kVIZInstanceIDErrorMissingPublicKey) {
        error = iidError(kVIZInstanceIDErrorMissingKeyPair);
      }
    }
    answerToken(handler, std::nullopt, error);
  });
}

void VIZInstanceID::deleteIDWithHandler(ErrorHandler handler) {
  if (!handler) return;
  Managers current = managers();
  if (!current.keyPairManager) return answer(handler, iidError(kVIZInstanceIDErrorNotStarted));
  withKeyPair(
      current.keyPairManager,
      [current, handler](const VIZInstanceIDKeyPair& keyPair) {
        current.tokenManager->deleteAllTokensWithKeyPair(
            keyPair, [current, handler](const std::optional<platform::Error>& error) {
              if (error) return answer(handler, error);
              const bool deleted = current.keyPairManager->deleteKeyPair() &&
                                   current.keyPairManager->deleteKeyPairCreationTimePlist();
              answer(handler, deleted
                                  ? std::nullopt
                                  : std::optional(iidError(kVIZInstanceIDErrorInvalidResponse)));
            });
      },
      [handler](const platform::Error& loadError) { answer(handler, loadError); });
}

void VIZInstanceID::notifyTokenRefresh() { sharedInstance()->handleTokenRefresh(); }

void VIZInstanceID::notifyIdentityLost() { sharedInstance()->handle_CMD_RST(); }

void VIZInstanceID::handleTokenRefresh() {
  Managers current = managers();
  if (current.tokenManager) current.tokenManager->deleteAllTokensLocally();
  platform::mainQueue()->async([weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self) return;
    std::shared_ptr<VIZInstanceIDDelegate> delegate;
    {
      platform::MutexLock lock(self->mutex_);
      delegate = self->refreshTokenDelegate_.lock();
    }
    if (delegate) delegate->onTokenRefresh();
  });
}

void VIZInstanceID::handle_CMD_RST() {
  Managers current = managers();
  if (current.keyPairManager) current.keyPairManager->deleteKeyPair();
  if (current.tokenManager) current.tokenManager->deleteAllTokensLocally();
}

void VIZInstanceID::handle_CMD_RST_FULL() {
  Managers current = managers();
  if (current.keyPairManager && current.keyPairManager->hasCachedKeyPairs()) {
    current.keyPairManager->deleteKeyPair();
  }
  if (current.tokenManager) current.tokenManager->deleteAllTokensLocally();
}

void VIZInstanceID::didReceiveZCMMessage(const platform::Notification& notification) {
  const platform::Value* object = notification.objectAs<platform::Value>();
  if (!object || !object->isDictionary()) {
    VIZ_IID_LOG_ERROR(
        "Invalid ZCM message with object %s",
        object ? platform::describe(*object).c_str() : notification.object.type().name());
    return;
  }
  const std::string command = (*object)["CMD"].stringOr("");
  if (command.empty()) {
    VIZ_IID_LOG_ERROR("Invalid nil command to InstanceID %s", platform::describe(*object).c_str());
    return;
  }
  handleRefreshMessage(command);
}

void VIZInstanceID::handleRefreshMessage(const std::string& command) {
  if (command == "RST") {
    handle_CMD_RST();
  } else if (command == "RST_FULL") {
    handle_CMD_RST_FULL();
  } else if (command == "SYNC") {
    handleTokenRefresh();
  }
}
