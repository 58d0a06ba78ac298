#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ads/foundation/geometry.h"
#include "ads/foundation/network.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

// What the ads engine reports about the device: OS version, model, screen, orientation, audio,
// carrier and radio, capabilities, the hashed advertising identifier and the web view's user
// agent. Its main product is parameters(), the device part of every ad request.
//
// Static facts are cached once at start-up (cacheStaticParameters), dynamic ones refreshed
// before each ad load (updateDynamicParameters); both read the user-interface layer and run on
// the main thread. Every field is kept under one lock, so readers on any thread see the latest
// write (the same order a serial queue gives, without a thread hop per read: parameters() reads
// many fields for every request).
//
// On Linux there is no telephony (no carrier, radio technology, phone calls or text messages),
// no audio route or system volume (volume 1.0, no route names), no payments, no advertising
// identifier (tracking reads as limited) and no rotation (always portrait).
class ZADDevice {
 public:
  using OSVersion = std::array<int64_t, 3>;

  static ZADDevice& sharedInstance();
  ZADDevice();
  ~ZADDevice();
  ZADDevice(const ZADDevice&) = delete;
  ZADDevice& operator=(const ZADDevice&) = delete;

  // Main thread; once.
  void cacheStaticParameters();
  // Main thread.
  void updateDynamicParameters();
  void updateOrientation();
  void updateBookstores();
  void updateMobileCarrierInformation();
  void updateOrientedKeyWindowSize();
  void updateAudioVolume();
  void updateAudioPortNames();

  void setRadioAccessTechnology(const std::optional<std::string>& technology);
  void setMobileCountryCode(const std::optional<std::string>& code);
  void setMobileNetworkCode(const std::optional<std::string>& code);
  // Only a non-empty agent is kept (the web-view code reports it).
  void setUserAgentString(std::string_view userAgent);

  std::optional<std::string> radioAccessTechnology() const;
  std::optional<std::string> lastKnownRadioAccessTechnology() const;
  std::optional<std::string> mobileCountryCode() const;
  std::optional<std::string> mobileNetworkCode() const;
  std::optional<std::string> userAgentString() const;
  std::optional<std::vector<std::string>> audioRoutePortNames() const;
  float audioVolume() const;
  platform::ui::Size standardizedOrientedKeyWindowSize() const;
  platform::ui::Size standardizedPortraitKeyWindowSize() const;

  // The OS version from the system's version text: cut or padded with 0 to three parts.
  static OSVersion parseOperatingSystemVersion(std::string_view text);
  void updateOperatingSystemVersionProperties();
  bool isOSAtLeast(int64_t major, int64_t minor, int64_t patch) const;
  bool OSIsSupported() const { return isOSAtLeast(6, 0, 0); }
  std::string systemVersion() const;
  OSVersion operatingSystemVersion() const;

  // "DTSDKName" without the "DTPlatformName" in it; nothing without "DTSDKName". Once.
  std::optional<std::string> baseSDKVersion() const;
  // The machine's hardware name. Once.
  static const std::string& deviceSubmodel();
  // The first preferred language, lower-cased. Once.
  static const std::optional<std::string>& locale();
  std::string deviceModel() const;
  double mainScreenDensity() const;
  int64_t statusBarOrientation() const;
  bool orientationLandscape();
  ZADRect standardizedPortraitScreenBounds() const;
  ZADRect standardizedOrientedScreenBounds();
  ZADRect standardizedOrientedApplicationFrame();
  // Each URL text to whether the system can open it. Systems from 9.0 on answer only for
  // schemes the app lists in "LSApplicationQueriesSchemes". Main thread.
  platform::Dictionary canOpenURLs(const std::vector<std::string>& urls) const;
  bool canText() const;
  bool canMakePhoneCalls() const;
  bool limitAdTracking() const;
  std::string limitAdTrackingString() const { return limitAdTracking() ? "1" : "0"; }
  // The MD5 of the advertising identifier; "" while tracking is limited.
  std::string deviceIdentifier() const;
  static bool jailbroken();
  static bool isSimulator() { return false; }
  std::filesystem::path temporaryPathWithCreation(bool create) const;
  const std::shared_ptr<ZADNetwork>& network() const { return network_; }

  // The device part of an ad request.
  platform::Dictionary parameters();

 private:
  // Bit 0: the system book store opens; bit 1: the "ereader" app opens.
  static constexpr uint64_t kSystemBookstore = 1, kReaderApp = 2;

  uint64_t bookstores() const;

  const std::shared_ptr<ZADNetwork> network_;
  mutable platform::Mutex mutex_;
  int64_t statusBarOrientation_ VKR_GUARDED_BY(mutex_) = 1;
  ZADRect standardizedMainScreenPortraitBounds_ VKR_GUARDED_BY(mutex_);
  bool userInterfaceIdiomIsPhone_ VKR_GUARDED_BY(mutex_) = false;
  uint64_t bookstores_ VKR_GUARDED_BY(mutex_) = 0;
  float audioVolume_ VKR_GUARDED_BY(mutex_) = 1.0f;
  std::optional<std::vector<std::string>> audioRoutePortNames_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::Dictionary> infoPlist_ VKR_GUARDED_BY(mutex_);
  bool hasCachedStaticParameters_ VKR_GUARDED_BY(mutex_) = false;
  platform::ui::Size standardizedOrientedKeyWindowSize_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> lastKnownRadioAccessTechnology_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> radioAccessTechnology_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> mobileCountryCode_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> mobileNetworkCode_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> userAgentString_ VKR_GUARDED_BY(mutex_);
  std::string deviceModel_ VKR_GUARDED_BY(mutex_);
  std::string systemVersion_ VKR_GUARDED_BY(mutex_);
  double mainScreenDensity_ VKR_GUARDED_BY(mutex_) = 1;
  bool canText_ VKR_GUARDED_BY(mutex_) = false;
  bool canMakePhoneCalls_ VKR_GUARDED_BY(mutex_) = false;
  OSVersion operatingSystemVersion_ VKR_GUARDED_BY(mutex_) = {0, 0, 0};
};
