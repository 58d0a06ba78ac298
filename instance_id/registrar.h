#pragma once
// What the token manager asks of the registration endpoint: it makes sure valid check-in
// credentials exist (checking in when needed, one check-in at a time) and keeps one registration
// client per (entity, scope), so that one pair's requests never overlap. Main queue.
#include <map>
#include <memory>
#include <string>

#include "instance_id/checkin_service.h"
#include "instance_id/registration_client.h"

class VIZInstanceIDRegistrar : public std::enable_shared_from_this<VIZInstanceIDRegistrar> {
 public:
  using TokenHandler = VIZInstanceIDRegistrationClient::TokenHandler;
  using ErrorHandler = VIZInstanceIDRegistrationClient::ErrorHandler;

  // The check-in service keeps its record with the cache (held weakly).
  explicit VIZInstanceIDRegistrar(std::weak_ptr<VIZInstanceIDCheckinCache> checkinCache);

  std::string deviceAuthID() const { return checkinService_->deviceAuthID(); }
  std::string secretToken() const { return checkinService_->secretToken(); }
  bool hasValidCheckinInfo() const { return checkinService_->hasValidCheckinInfo(); }
  bool tryToLoadCheckinInfo();

  // Answers once, on the main queue: at once (no error) when valid credentials are held, 5 while
  // a check-in runs, else the check-in's result.
  void fetchCheckinInfoWithHandler(ErrorHandler handler);
  void fetchTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                      const VIZInstanceIDKeyPair& keyPair,
                                      const platform::Dictionary& options, TokenHandler handler);
  void deleteTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                       const VIZInstanceIDKeyPair& keyPair, ErrorHandler handler);
  void stopAllRequests();

 private:
  // Runs `next` once valid credentials are held; else hands the check-in's error on.
  void withCheckin(std::function<void()> next, ErrorHandler onError);
  void fetchNewToken(const std::string& entity, const std::string& scope,
                     const VIZInstanceIDKeyPair& keyPair, const platform::Dictionary& options,
                     TokenHandler handler);
  void willDeleteToken(const std::string& entity, const std::string& scope,
                       const VIZInstanceIDKeyPair& keyPair, ErrorHandler handler);
  // The (entity, scope)'s client, made on first use; the error when none can be had.
  platform::Result<std::shared_ptr<VIZInstanceIDRegistrationClient>> registrationClient(
      const std::string& entity, const std::string& scope, const VIZInstanceIDKeyPair& keyPair);

  std::shared_ptr<VIZInstanceIDCheckinService> checkinService_;
  std::map<std::string, std::shared_ptr<VIZInstanceIDRegistrationClient>>
      registrationClientsByKeyMap_;
  bool isCheckinInProgress_ = false;
};
