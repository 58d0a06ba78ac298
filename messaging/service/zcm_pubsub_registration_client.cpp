#include "messaging/service/zcm_pubsub_registration_client.h"

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/service/zcm_endpoints.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/url.h"

namespace {

void addField(std::string& body, std::string_view name, std::string_view value) {
  if (!body.empty()) body += '&';
  body += name;
  body += '=';
  body += platform::percentEncode(value, platform::kURLQueryValueAllowed);
}

}  // namespace

ZCMPubsubRegistrationClient::ZCMPubsubRegistrationClient(std::shared_ptr<ZCMCheckinService> checkin,
                                                         std::string token, std::string topic,
                                                         platform::Dictionary options)
    : checkin_(std::move(checkin)),
      token_(std::move(token)),
      topic_(std::move(topic)),
      options_(std::move(options)) {}

ZCMPubsubRegistrationClient::~ZCMPubsubRegistrationClient() { cancelAnyOngoingOperation(); }

std::string ZCMPubsubRegistrationClient::pubsubRegistrationKeyWithToken(
    const std::string& token, const std::string& topic, const platform::Dictionary& options) {
  return token + "|" + topic + "|" + zcm_string(options);
}

std::string ZCMPubsubRegistrationClient::registrationKey() const {
  return pubsubRegistrationKeyWithToken(token_, topic_, options_);
}

std::string ZCMPubsubRegistrationClient::requestBody(bool shouldDelete) const {
  std::string body;
  addField(body, "sender", token_);
  addField(body, "app", ZCMAppBundleIdentifier().value_or(""));
  addField(body, "device", checkin_->deviceAuthID());
  addField(body, "app_ver", ZCMCurrentAppVersion());
  addField(body, "X-zcm.topic", topic_);
  addField(body, "X-scope", topic_);
  if (shouldDelete) addField(body, "delete", "true");
  return body;
}

std::optional<std::string> ZCMPubsubRegistrationClient::tokenFromReply(const std::string& reply) {
  const size_t equals = reply.find('=');
  if (equals == std::string::npos || reply.compare(0, equals, "token") != 0) return std::nullopt;
  const size_t end = reply.find('=', equals + 1);
  return reply.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1);
}

void ZCMPubsubRegistrationClient::updateSubscriptionWithCompletion(Completion completion,
                                                                   bool shouldDelete) {
  platform::net::URLRequest request;
  if (platform::Result<platform::URL> url = platform::URL::parse(ZCMRegistrationServer())) {
    request.url = *url;
  }
  request.setValue("ZidLogin " + checkin_->deviceAuthID() + ":" + checkin_->secretToken(),
                   "Authorization");
  request.setValue(ZCMAppBundleIdentifier().value_or(""), "app");
  request.setValue(checkin_->versionInfo(), "info");
  const std::string body = requestBody(shouldDelete);
  ZCM_LOG_INFO("Pubsub registration request: %s", body.c_str());

  cancelAnyOngoingOperation();
  fetcher_ = ZSDK_ZTMSessionFetcher::fetcherWithRequest(std::move(request));
  fetcher_->setBodyData(platform::bytesOf(body));
  fetcher_->beginFetchWithCompletionHandler(
      [completion = std::move(completion)](const std::optional<platform::Bytes>& data,
                                           const std::optional<platform::Error>& error) {
        if (!completion) return;
        if (error) return completion(std::nullopt, error);
        std::optional<std::string> token =
            tokenFromReply(data ? platform::stringOf(*data) : std::string());
        if (!token)
          return completion(std::nullopt, errorWithZcmErrorCode(kZCMErrorCodeInvalidResponse));
        completion(token, std::nullopt);
      });
}

bool ZCMPubsubRegistrationClient::isSubscriptionInProgress() const {
  return fetcher_ && fetcher_->isFetching();
}

void ZCMPubsubRegistrationClient::cancelAnyOngoingOperation() {
  if (fetcher_ && fetcher_->isFetching()) fetcher_->stopFetching();
  fetcher_.reset();
}
