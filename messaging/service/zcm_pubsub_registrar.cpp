#include "messaging/service/zcm_pubsub_registrar.h"

#include "messaging/base/zcm_error.h"

void ZCMPubSubRegistrar::updateSubscriptionToTopic(
    const std::string& topic, const std::string& token, const platform::Dictionary& options,
    bool shouldDelete, ZCMPubsubRegistrationClient::Completion handler) {
  const std::string key =
      ZCMPubsubRegistrationClient::pubsubRegistrationKeyWithToken(token, topic, options);
  std::shared_ptr<ZCMPubsubRegistrationClient>& client = pubsubClientsMap_[key];
  if (!client) {
    client = std::make_shared<ZCMPubsubRegistrationClient>(checkinService_, token, topic, options);
  }
  if (client->isSubscriptionInProgress()) {
    if (handler) {
      handler(std::nullopt, errorWithZcmErrorCode(kZCMErrorCodePubSubOperationInProgress));
    }
    return;
  }
  client->updateSubscriptionWithCompletion(std::move(handler), shouldDelete);
}

void ZCMPubSubRegistrar::stopAllSubscriptionRequests() {
  for (auto& [key, client] : pubsubClientsMap_) client->cancelAnyOngoingOperation();
}
