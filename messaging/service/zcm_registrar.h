#pragma once
// The connection client's view of the device's check-in credentials (read from what the identity
// client stored), and the gate of topic requests: none goes out without valid credentials. Main
// thread only.
#include <memory>
#include <string>

#include "messaging/checkin/zcm_checkin_service.h"
#include "messaging/service/zcm_pubsub_registrar.h"

class ZCMRegistrar {
 public:
  explicit ZCMRegistrar(std::shared_ptr<ZCMCheckinCache> checkinStore);

  // "" when not checked in.
  std::string deviceAuthID() const { return checkinService_->deviceAuthID(); }
  std::string secretToken() const { return checkinService_->secretToken(); }
  bool hasValidCheckinInfo() const { return checkinService_->hasValidCheckinInfo(); }
  // Re-reads what the identity client stored when the credentials in memory aren't valid;
  // answers whether they are now.
  bool tryToLoadValidCheckinInfo();

  // Without valid credentials the handler gets error 501 at once; otherwise the request runs.
  void updateSubscriptionToTopic(const std::string& topic, const std::string& token,
                                 const platform::Dictionary& options, bool shouldDelete,
                                 ZCMPubsubRegistrationClient::Completion handler);
  // Stops every running topic request.
  void cancelAllRequests() { pubsubRegistrar_.stopAllSubscriptionRequests(); }

 private:
  std::shared_ptr<ZCMCheckinService> checkinService_;
  ZCMPubSubRegistrar pubsubRegistrar_;
};
