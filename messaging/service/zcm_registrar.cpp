#include "messaging/service/zcm_registrar.h"

#include "messaging/base/zcm_error.h"

ZCMRegistrar::ZCMRegistrar(std::shared_ptr<ZCMCheckinCache> checkinStore)
    : checkinService_(std::make_shared<ZCMCheckinService>(std::move(checkinStore))),
      pubsubRegistrar_(checkinService_) {}

bool ZCMRegistrar::tryToLoadValidCheckinInfo() {
  return checkinService_->hasValidCheckinInfo() ||
         checkinService_->tryToLoadPrefetchedCheckinPreferences();
}

void ZCMRegistrar::updateSubscriptionToTopic(const std::string& topic, const std::string& token,
                                             const platform::Dictionary& options, bool shouldDelete,
                                             ZCMPubsubRegistrationClient::Completion handler) {
  if (!tryToLoadValidCheckinInfo()) {
    if (handler) handler(std::nullopt, errorWithZcmErrorCode(kZCMErrorCodeMissingCheckin));
    return;
  }
  pubsubRegistrar_.updateSubscriptionToTopic(topic, token, options, shouldDelete,
                                             std::move(handler));
}
