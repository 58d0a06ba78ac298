#pragma once
// Test support for the messaging service: points the client at local servers (the identity
// service's registration endpoint and, when given, a messaging server) for a test's scope, stores
// the identity service's check-in credentials as the identity client would, and gives the test a
// fresh shared service afterwards.
#include <cstdint>

#include "instance_id/testing/identity_server.h"
#include "messaging/testing/zcm_test_server.h"

class ZCMServiceTestScope {
 public:
  // The messaging server is optional: topic tests need none. The identity server makes URL
  // loading trust the servers' certificate.
  explicit ZCMServiceTestScope(const instance_id_testing::IdentityServer& identity,
                               const ZCMTestServer* messaging = nullptr);
  // Tears the shared service down (a new one is made on next use) and restores the defaults.
  ~ZCMServiceTestScope();
  ZCMServiceTestScope(const ZCMServiceTestScope&) = delete;
  ZCMServiceTestScope& operator=(const ZCMServiceTestScope&) = delete;

  // The identity server's credentials, checked in at the given time (ms since 1970), in the
  // keychain item and "g-checkin" file where the messaging client reads them.
  static void storeCheckin(int64_t checkinMillis);
};
