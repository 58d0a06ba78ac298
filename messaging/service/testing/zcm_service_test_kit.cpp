#include "messaging/service/testing/zcm_service_test_kit.h"

#include "instance_id/checkin_preferences.h"
#include "instance_id/checkin_store.h"
#include "messaging/service/zcm_endpoints.h"
#include "messaging/service/zcm_service.h"
#include "platform/foundation/log.h"

ZCMServiceTestScope::ZCMServiceTestScope(const instance_id_testing::IdentityServer& identity,
                                         const ZCMTestServer* messaging) {
  ZCMSetRegistrationBaseURL(identity.baseURL());
  if (messaging) ZCMSetMessagingEndpoint(ZCMMessagingEndpoint{"127.0.0.1", messaging->port()});
}

ZCMServiceTestScope::~ZCMServiceTestScope() {
  ZCMService::resetSharedInstanceForTesting();
  ZCMSetRegistrationBaseURL(std::nullopt);
  ZCMSetMessagingEndpoint(std::nullopt);
}

void ZCMServiceTestScope::storeCheckin(int64_t checkinMillis) {
  using instance_id_testing::IdentityServer;
  VIZInstanceIDCheckinPreferences preferences(IdentityServer::kDeviceID,
                                              IdentityServer::kSecretToken);
  preferences.updateWithCheckinPlistContents(
      {{kVIZInstanceIDDigestKey, platform::Value(IdentityServer::kDigest)},
       {kVIZInstanceIDVersionInfoKey, platform::Value(IdentityServer::kVersionInfo)},
       {kVIZInstanceIDLastCheckinTimestampKey, platform::Value(checkinMillis)},
       {kVIZInstanceIDZServicesDataKey, platform::Value(platform::Dictionary())}});
  std::optional<platform::Error> error;
  if (!VIZInstanceIDCheckinStore("g-checkin").saveCheckinPreferences(preferences, &error)) {
    platform::logf("could not store the test check-in: %s",
                   error ? error->description().c_str() : "");
  }
}
