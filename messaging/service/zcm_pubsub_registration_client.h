#pragma once
// One (token, topic, options)'s request to the registration endpoint: a form POST that subscribes
// the token to the topic, or with "&delete=true" unsubscribes it, authorised with the device's
// check-in credentials. Main thread only; the completion runs on the main queue exactly once per
// request, unless the request is cancelled.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "messaging/checkin/zcm_checkin_service.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "toolbox/fetcher/session_fetcher.h"

class ZCMPubsubRegistrationClient {
 public:
  // The token the server answered with (unused above), or the error.
  using Completion = std::function<void(const std::optional<std::string>& token,
                                        const std::optional<platform::Error>& error)>;

  ZCMPubsubRegistrationClient(std::shared_ptr<ZCMCheckinService> checkin, std::string token,
                              std::string topic, platform::Dictionary options);
  ~ZCMPubsubRegistrationClient();
  ZCMPubsubRegistrationClient(const ZCMPubsubRegistrationClient&) = delete;
  ZCMPubsubRegistrationClient& operator=(const ZCMPubsubRegistrationClient&) = delete;

  // "<token>|<topic>|<options>", the options as zcm_string() (empty for none).
  static std::string pubsubRegistrationKeyWithToken(const std::string& token,
                                                    const std::string& topic,
                                                    const platform::Dictionary& options);
  std::string registrationKey() const;

  void updateSubscriptionWithCompletion(Completion completion, bool shouldDelete);
  bool isSubscriptionInProgress() const;
  // Stops a running request; its completion is not called.
  void cancelAnyOngoingOperation();

  // The form: "sender", "app", "device", "app_ver", "X-zcm.topic", "X-scope" (the topic again)
  // and, when deleting, "delete=true". Values are form-encoded.
  std::string requestBody(bool shouldDelete) const;
  // The token of a reply "token=<value>" (cut at the value's own "="); error 7 for anything else.
  static std::optional<std::string> tokenFromReply(const std::string& reply);

 private:
  std::shared_ptr<ZCMCheckinService> checkin_;
  std::string token_;
  std::string topic_;
  platform::Dictionary options_;
  ZSDK_ZTMSessionFetcher::Ptr fetcher_;
};
