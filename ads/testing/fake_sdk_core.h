#pragma once

#include <memory>

#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/statistic_dictionary.h"

namespace ads::testing {

// A request with the parameters it is given.
class FakeRequest final : public ZADRequest {
 public:
  explicit FakeRequest(platform::Dictionary parameters = {}) : parameters_(std::move(parameters)) {}
  platform::Dictionary parameters() const override { return parameters_; }

 private:
  platform::Dictionary parameters_;
};

// App volume settings set by hand, installed as the shared instance while it lives.
class FakeMobileAds final : public ZADMobileAds {
 public:
  float clampedApplicationVolume() const override { return volume; }
  bool applicationMuted() const override { return muted; }

  float volume = 1.0f;
  bool muted = false;
};

class ScopedFakeMobileAds {
 public:
  ScopedFakeMobileAds() : fake_(std::make_shared<FakeMobileAds>()) {
    ZADMobileAds::setSharedInstance(fake_);
  }
  ~ScopedFakeMobileAds() { ZADMobileAds::setSharedInstance(nullptr); }
  FakeMobileAds& operator*() const { return *fake_; }
  FakeMobileAds* operator->() const { return fake_.get(); }

 private:
  std::shared_ptr<FakeMobileAds> fake_;
};

// A slot whose ad is or is not mediated, as set.
class FakeSlot final : public ZADSlot {
 public:
  explicit FakeSlot(bool mediating = false) : mediating(mediating) {}
  bool isMediating() const override { return mediating; }
  bool mediating;
};

// An ad with statistics of its own, whose delegate is the given one.
class FakeAd final : public ZADAd {
 public:
  explicit FakeAd(std::weak_ptr<ZADStatisticDictionaryDelegate> delegate = {})
      : statistics_(ZADStatisticDictionary::make(std::move(delegate))) {}
  std::shared_ptr<ZADStatisticDictionary> statistics() const override { return statistics_; }

 private:
  std::shared_ptr<ZADStatisticDictionary> statistics_;
};

}  // namespace ads::testing
