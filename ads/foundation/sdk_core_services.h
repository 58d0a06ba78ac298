#pragma once

// What the ads foundation needs of the ad requests and SDK core: the engine's version, a
// request's own parameters, the app's volume settings and the server constants kept in the user
// defaults. The SDK core implements the interfaces; tests use doubles (ads/testing).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// One ad request, as the foundation sees it.
class ZADRequest {
 public:
  virtual ~ZADRequest() = default;
  // "voda-sdk-i-v7.7.0": the same text for the life of the process.
  static const std::string& sdkVersion();
  // The request's own parameters (may be empty).
  virtual platform::Dictionary parameters() const = 0;
};

// The app's public ads settings.
class ZADMobileAds {
 public:
  virtual ~ZADMobileAds() = default;
  // The process-wide settings the SDK core installed; null before it did.
  static std::shared_ptr<ZADMobileAds> sharedInstance();
  static void setSharedInstance(std::shared_ptr<ZADMobileAds> instance);

  // The volume the app set, clamped to 0..1.
  virtual float clampedApplicationVolume() const = 0;
  virtual bool applicationMuted() const = 0;
};

class ZADStatisticDictionary;

// An ad slot, as the foundation sees it.
class ZADSlot {
 public:
  virtual ~ZADSlot() = default;
  // Whether the slot's current ad is served through mediation.
  virtual bool isMediating() const = 0;
};

// A loaded ad, as the foundation sees it.
class ZADAd {
 public:
  virtual ~ZADAd() = default;
  // The ad's own statistics ("tclickcurr", "tclick", ...).
  virtual std::shared_ptr<ZADStatisticDictionary> statistics() const = 0;
};

// The interstitial preloading cache: the SDK core installs how to make it, and it is made once,
// by its first user.
class ZADInterstitialCache {
 public:
  virtual ~ZADInterstitialCache() = default;
  static void setSharedInstanceFactory(
      std::function<std::shared_ptr<ZADInterstitialCache>()> factory);
  // The shared cache, made on the first call; null while no factory is installed.
  static std::shared_ptr<ZADInterstitialCache> sharedInstance();
};

// The user-defaults key of a server constant: "/zorova/ads/" followed by its name.
std::string ZADServerConstantKey(std::string_view name);
// A server constant read as a number of seconds or a count: the stored value (a number, or text
// holding one) when it is a positive number, else the fallback. Zero, negative and non-numeric
// values would turn timers into busy loops or switch features off by accident.
double ZADPositiveServerConstant(std::string_view name, double fallback);
