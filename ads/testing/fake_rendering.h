#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/foundation/rendering_services.h"
#include "platform/foundation/thread_annotations.h"

namespace ads::testing {

// Records, in order, what the engine's start-up asks of the components it turns on.
class StartUpLog {
 public:
  void add(std::string entry) {
    platform::MutexLock lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> entries() const {
    platform::MutexLock lock(mutex_);
    return entries_;
  }

 private:
  mutable platform::Mutex mutex_;
  std::vector<std::string> entries_ VKR_GUARDED_BY(mutex_);
};

// An in-app purchase reporter that answers as told and logs "iap.should" and "iap.enable".
class FakeInAppPurchaseReporter final : public ZADInAppPurchaseTransactionReporter {
 public:
  FakeInAppPurchaseReporter(StartUpLog& log, bool shouldBeEnabled)
      : log_(log), shouldBeEnabled_(shouldBeEnabled) {}
  bool shouldBeEnabled() override {
    log_.add("iap.should");
    return shouldBeEnabled_;
  }
  void enableReporting() override { log_.add("iap.enable"); }

 private:
  StartUpLog& log_;
  const bool shouldBeEnabled_;
};

// Installs the double as the shared instance while it lives.
class ScopedFakeStartUpServices {
 public:
  explicit ScopedFakeStartUpServices(StartUpLog& log, bool purchaseReportingAllowed = true) {
    ZADInAppPurchaseTransactionReporter::setSharedInstance(
        std::make_shared<FakeInAppPurchaseReporter>(log, purchaseReportingAllowed));
  }
  ~ScopedFakeStartUpServices() { ZADInAppPurchaseTransactionReporter::setSharedInstance(nullptr); }
  ScopedFakeStartUpServices(const ScopedFakeStartUpServices&) = delete;
  ScopedFakeStartUpServices& operator=(const ScopedFakeStartUpServices&) = delete;
};

}  // namespace ads::testing
