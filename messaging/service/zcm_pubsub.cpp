#include "messaging/service/zcm_pubsub.h"

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/service/zcm_pubsub_topic.h"
#include "messaging/service/zcm_service.h"
#include "platform/dispatch/queue.h"

namespace {

// Every answer reaches the caller later on the main queue.
void answer(const ZCMPubSub::Handler& handler, std::optional<platform::Error> error) {
  if (!handler) return;
  platform::mainQueue()->async([handler, error = std::move(error)] { handler(error); });
}

}  // namespace

ZCMPubSub& ZCMPubSub::sharedInstance() {
  static ZCMPubSub* const instance = new ZCMPubSub();
  return *instance;
}

void ZCMPubSub::subscribeWithToken(const std::string& token, const std::string& topic,
                                   const platform::Dictionary& options, Handler handler) {
  platform::runOnMainThread([this, token, topic, options, handler = std::move(handler)] {
    updateSubscription(token, topic, options, false, handler);
  });
}

void ZCMPubSub::unsubscribeWithToken(const std::string& token, const std::string& topic,
                                     const platform::Dictionary& options, Handler handler) {
  platform::runOnMainThread([this, token, topic, options, handler = std::move(handler)] {
    updateSubscription(token, topic, options, true, handler);
  });
}

bool ZCMPubSub::verifyPubSubTopic(const std::string& topic) {
  return ZCMPubSubTopic::topicWithExpression(topic).has_value();
}

bool ZCMPubSub::verifyPubSubOptions(const platform::Dictionary& options) {
  return !zcm_hasNonStringKeysOrValues(options);
}

void ZCMPubSub::updateSubscription(const std::string& token, const std::string& topic,
                                   const platform::Dictionary& givenOptions, bool shouldDelete,
                                   const Handler& handler) {
  // The service's client of this moment: a call before the start spoils nothing later.
  const std::shared_ptr<ZCMClient> client = ZCMService::sharedInstance().client();
  if (!client) return answer(handler, errorWithZcmErrorCode(kZCMErrorCodePubSubClientNotSetup));
  if (!verifyPubSubTopic(topic)) {
    ZCM_LOG_ERROR("Invalid ZCM Pubsub topic %s", topic.c_str());
    return answer(handler, errorWithZcmErrorCode(kZCMErrorCodeInvalidTopic));
  }
  if (!verifyPubSubOptions(givenOptions)) {
    ZCM_LOG_ERROR("Invalid options passed to ZCMPubSub with non-string keys or values.");
  }
  const platform::Dictionary options = zcm_trimNonStringValues(givenOptions);
  const int8_t state = shouldDelete ? kZCMTopicUnsubscribed : kZCMTopicSubscribed;
  if (cache_.verifyCacheEntryState(state, topic, token, options)) {
    return answer(handler, errorWithZcmErrorCode(shouldDelete ? kZCMErrorCodeAlreadyUnsubscribed
                                                              : kZCMErrorCodeAlreadySubscribed));
  }
  client->updateSubscriptionWithToken(
      token, topic, options, shouldDelete,
      [this, token, topic, options, state, handler](const std::optional<platform::Error>& error) {
        if (!error) cache_.updateCacheForTopic(topic, token, options, state);
        answer(handler, error);
      });
}
