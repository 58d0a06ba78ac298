#include "instance_id/registrar.h"

#include "instance_id/iid_utilities.h"
#include "platform/dispatch/queue.h"

namespace {

platform::Error iidError(int64_t code) { return VIZInstanceIDError(code); }

}  // namespace

VIZInstanceIDRegistrar::VIZInstanceIDRegistrar(
    std::weak_ptr<VIZInstanceIDCheckinCache> checkinCache)
    : checkinService_(std::make_shared<VIZInstanceIDCheckinService>(std::move(checkinCache))) {}

bool VIZInstanceIDRegistrar::tryToLoadCheckinInfo() {
  if (!hasValidCheckinInfo()) checkinService_->tryToLoadPrefetchedCheckinPreferences();
  return hasValidCheckinInfo();
}

void VIZInstanceIDRegistrar::fetchCheckinInfoWithHandler(ErrorHandler handler) {
  if (isCheckinInProgress_ || hasValidCheckinInfo()) {
    std::optional<platform::Error> answer;
    if (isCheckinInProgress_) answer = iidError(kVIZInstanceIDErrorCheckinInProgress);
    if (handler) platform::mainQueue()->async([handler, answer] { handler(answer); });
    return;
  }
  isCheckinInProgress_ = true;
  checkinService_->checkinWithCompletion(
      [weakSelf = weak_from_this(), handler](const std::optional<platform::Error>& error) {
        if (auto self = weakSelf.lock()) self->isCheckinInProgress_ = false;
        if (handler) handler(error);
      });
}

void VIZInstanceIDRegistrar::withCheckin(std::function<void()> next, ErrorHandler onError) {
  if (hasValidCheckinInfo()) return next();
  fetchCheckinInfoWithHandler([next = std::move(next), onError = std::move(onError)](
                                  const std::optional<platform::Error>& error) {
    if (error) return onError(error);
    next();
  });
}

void VIZInstanceIDRegistrar::fetchTokenWithAuthorizedEntity(const std::string& entity,
                                                            const std::string& scope,
                                                            const VIZInstanceIDKeyPair& keyPair,
                                                            const platform::Dictionary& options,
                                                            TokenHandler handler) {
  if (entity.empty() || scope.empty()) {
    if (handler) handler(std::nullopt, iidError(kVIZInstanceIDErrorInvalidRequest));
    return;
  }
  withCheckin(
      [weakSelf = weak_from_this(), entity, scope, keyPair, options, handler] {
        if (auto self = weakSelf.lock()) {
          self->fetchNewToken(entity, scope, keyPair, options, handler);
        }
      },
      [handler](const std::optional<platform::Error>& error) {
        if (handler) handler(std::nullopt, error);
      });
}

void VIZInstanceIDRegistrar::deleteTokenWithAuthorizedEntity(const std::string& entity,
                                                             const std::string& scope,
                                                             const VIZInstanceIDKeyPair& keyPair,
                                                             ErrorHandler handler) {
  if (entity.empty() || scope.empty()) {
    if (handler) handler(iidError(kVIZInstanceIDErrorInvalidRequest));
    return;
  }
  withCheckin(
      [weakSelf = weak_from_this(), entity, scope, keyPair, handler] {
        if (auto self = weakSelf.lock()) self->willDeleteToken(entity, scope, keyPair, handler);
      },
      [handler](const std::optional<platform::Error>& error) {
        if (handler) handler(error);
      });
}

platform::Result<std::shared_ptr<VIZInstanceIDRegistrationClient>>
VIZInstanceIDRegistrar::registrationClient(const std::string& entity, const std::string& scope,
                                           const VIZInstanceIDKeyPair& keyPair) {
  if (!hasValidCheckinInfo()) return iidError(kVIZInstanceIDErrorInvalidCheckin);
  const std::string key =
      VIZInstanceIDRegistrationClient::registrationClientKeyWithAuthorizedEntity(entity, scope);
  if (key.empty()) return iidError(kVIZInstanceIDErrorUnknown);
  std::shared_ptr<VIZInstanceIDRegistrationClient>& client = registrationClientsByKeyMap_[key];
  if (client) {
    client->setKeyPair(keyPair);
  } else {
    client =
        std::make_shared<VIZInstanceIDRegistrationClient>(checkinService_, entity, scope, keyPair);
  }
  return client;
}

void VIZInstanceIDRegistrar::fetchNewToken(const std::string& entity, const std::string& scope,
                                           const VIZInstanceIDKeyPair& keyPair,
                                           const platform::Dictionary& options,
                                           TokenHandler handler) {
  auto client = registrationClient(entity, scope, keyPair);
  if (!client.ok()) {
    if (handler) handler(std::nullopt, client.error());
    return;
  }
  (*client)->setOptionsForFetchingNewToken(options);
  if ((*client)->inProgress()) {
    if (handler) handler(std::nullopt, iidError(kVIZInstanceIDErrorCheckinInProgress));
    return;
  }
  (*client)->fetchTokenWithHandler(std::move(handler));
}

void VIZInstanceIDRegistrar::willDeleteToken(const std::string& entity, const std::string& scope,
                                             const VIZInstanceIDKeyPair& keyPair,
                                             ErrorHandler handler) {
  auto client = registrationClient(entity, scope, keyPair);
  if (!client.ok()) {
    if (handler) handler(client.error());
    return;
  }
  (*client)->setOptionsForFetchingNewToken({});
  if ((*client)->inProgress()) {
    if (handler) handler(iidError(kVIZInstanceIDErrorCheckinInProgress));
    return;
  }
  (*client)->deleteTokenWithHandler(std::move(handler));
}

void VIZInstanceIDRegistrar::stopAllRequests() {
  for (auto& [key, client] : registrationClientsByKeyMap_) client->stopFetching();
  checkinService_->stopFetching();
  // The stopped check-in never completes; it must not block the next one.
  isCheckinInProgress_ = false;
}
