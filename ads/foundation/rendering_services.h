#pragma once

// What the ads foundation needs of ad rendering and of the crash reporter, which the engine's
// start-up turns on: the MRAID script interception switch, the in-app purchase reporter and
// crash reporting. The components implement the interfaces and install their shared instances;
// tests use doubles (ads/testing).

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

// The engine's crash reporting, as start-up sees it.
class ZADCrashReporting : public ZADInstallable<ZADCrashReporting> {
 public:
  virtual ~ZADCrashReporting() = default;

  virtual void setReportingEnabled(bool enabled) = 0;
};
