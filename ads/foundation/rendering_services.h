#pragma once

// What the ads foundation needs of ad rendering, which the engine's start-up turns on: the MRAID
// script interception switch and the in-app purchase reporter. Rendering implements the reporter
// and installs its shared instance; tests use a double (ads/testing).

#include <memory>

#include "ads/foundation/installed_instance.h"

// Whether the ad web views may intercept MRAID script loads. Off until start-up allows it.
class ZADMRAIDInterceptor {
 public:
  // Thread-safe; allowing again changes nothing.
  static void allow();
  static bool isAllowed();
};

// Reports the app's in-app purchases to the ad server.
class ZADInAppPurchaseTransactionReporter
    : public ZADInstallable<ZADInAppPurchaseTransactionReporter> {
 public:
  virtual ~ZADInAppPurchaseTransactionReporter() = default;

  // False once disabled, or when the app holds a class that reports purchases itself.
  virtual bool shouldBeEnabled() = 0;
  // Starts observing purchases; later calls do nothing.
  virtual void enableReporting() = 0;
};
