#pragma once
// Runs topic requests, one registration client per (token, topic, options): a request whose
// client is still running is refused with error 5. Main thread only.
#include <map>
#include <memory>
#include <string>

#include "messaging/service/zcm_pubsub_registration_client.h"

class ZCMPubSubRegistrar {
 public:
  explicit ZCMPubSubRegistrar(std::shared_ptr<ZCMCheckinService> checkinService)
      : checkinService_(std::move(checkinService)) {}

  // The handler gets error 5 at once when the same request is running, else the request's answer
  // on the main queue.
  void updateSubscriptionToTopic(const std::string& topic, const std::string& token,
                                 const platform::Dictionary& options, bool shouldDelete,
                                 ZCMPubsubRegistrationClient::Completion handler);
  // Stops every running request.
  void stopAllSubscriptionRequests();

 private:
  std::shared_ptr<ZCMCheckinService> checkinService_;
  std::map<std::string, std::shared_ptr<ZCMPubsubRegistrationClient>> pubsubClientsMap_;
};
