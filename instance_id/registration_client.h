#pragma once
// One (authorized entity, scope)'s requests to "/iid/register": a signed token request or
// deletion, authorised with the device's check-in credentials ("ZidLogin <device id>:<secret>"),
// and the unsigned request that drops every messaging registration after a reinstall. Main queue;
// every request answers its handler exactly once, on the main queue, unless stopped.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "instance_id/checkin_service.h"
#include "instance_id/key_pair.h"
#include "instance_id/registration_wire.h"
#include "platform/foundation/error.h"
#include "toolbox/fetcher/session_fetcher.h"

class VIZInstanceIDRegistrationClient {
 public:
  using TokenHandler =
      std::function<void(const std::optional<std::string>&, const std::optional<platform::Error>&)>;
  using ErrorHandler = std::function<void(const std::optional<platform::Error>&)>;

  VIZInstanceIDRegistrationClient(std::shared_ptr<VIZInstanceIDCheckinService> checkin,
                                  std::string authorizedEntity, std::string scope,
                                  VIZInstanceIDKeyPair keyPair);
  ~VIZInstanceIDRegistrationClient();

  const std::string& authorizedEntity() const { return authorizedEntity_; }
  const std::string& scope() const { return scope_; }
  // The registration key: the token cache key of (entity, scope).
  static std::string registrationClientKeyWithAuthorizedEntity(const std::string& entity,
                                                               const std::string& scope);
  // A new request id: 1, 2, ... for the life of the process (thread-safe).
  static uint64_t nextRequestID();

  void setOptionsForFetchingNewToken(platform::Dictionary options) {
    options_ = std::move(options);
  }
  // The pair that signs the next request (a reset identity brings a new one).
  void setKeyPair(VIZInstanceIDKeyPair keyPair) { keyPair_ = std::move(keyPair); }
  void fetchTokenWithHandler(TokenHandler handler);
  void deleteTokenWithHandler(ErrorHandler handler);
  static void deleteZCMTokenOnAppReset(const std::string& deviceID, const std::string& secretToken,
                                       ErrorHandler handler);

  bool inProgress() const;
  void stopFetching();

  // "&apns_token=<value>" for the options the form sends (text or number values only).
  static std::string requestContentSuffixFromOptions(const platform::Dictionary& options);

 private:
  // The signed fields "appid", "pub2" and "sig"; nothing when the key pair cannot sign.
  bool addSignedFields(VIZInstanceIDFormBody& body) const;

  std::shared_ptr<VIZInstanceIDCheckinService> checkin_;
  std::string authorizedEntity_;
  std::string scope_;
  VIZInstanceIDKeyPair keyPair_;
  platform::Dictionary options_;
  ZSDK_ZTMSessionFetcher::Ptr fetcher_;
};
