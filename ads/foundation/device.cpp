#include "ads/foundation/device.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <system_error>

#include "ads/foundation/app_facts.h"
#include "ads/foundation/main_thread.h"
#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/string_additions.h"
#include "platform/foundation/system_info.h"
#include "platform/foundation/text_number.h"
#include "platform/foundation/url.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace {

bool isLandscape(int64_t orientation) { return orientation == 3 || orientation == 4; }

platform::ui::Size swapped(platform::ui::Size size) { return {size.height, size.width}; }

std::string lowercased(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

ZADDevice& ZADDevice::sharedInstance() {
  static ZADDevice* device = new ZADDevice();  // lives as long as the process
  return *device;
}

ZADDevice::ZADDevice() : network_(ZADNetwork::make()) {
  // Known from the start, so version checks made before start-up caching answer rightly.
  updateOperatingSystemVersionProperties();
  network_->enableNetworkChecking();
  // Files a previous run left in the engine's temporary folder are of no use any more.
  platform::mainQueue()->async([path = temporaryPathWithCreation(false)] {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  });
}

ZADDevice::~ZADDevice() { network_->disableNetworkChecking(); }

void ZADDevice::cacheStaticParameters() {
  if (!platform::isMainThread()) return;
  {
    platform::MutexLock lock(mutex_);
    if (hasCachedStaticParameters_) return;
  }
  updateOperatingSystemVersionProperties();
  const platform::ui::Screen& screen = platform::ui::Screen::main();
  {
    platform::MutexLock lock(mutex_);
    infoPlist_ = platform::Bundle::mainBundle()->infoDictionary();
    deviceModel_ = platform::deviceModel();
    userInterfaceIdiomIsPhone_ = false;  // a desktop app
    mainScreenDensity_ = screen.scale();
    standardizedMainScreenPortraitBounds_ = ZADStandardizedRect(screen.bounds());
  }
  updateOrientation();
  {
    platform::MutexLock lock(mutex_);
    if (isLandscape(statusBarOrientation_)) {
      const ZADRect& bounds = standardizedMainScreenPortraitBounds_;
      standardizedMainScreenPortraitBounds_ = ZADRect(0, 0, bounds.height(), bounds.width());
    }
  }
  updateDynamicParameters();
  platform::MutexLock lock(mutex_);
  // Telephony and text messages: not on this platform.
  canMakePhoneCalls_ = false;
  canText_ = false;
  hasCachedStaticParameters_ = true;
}

void ZADDevice::updateDynamicParameters() {
  updateOrientation();
  updateBookstores();
  updateMobileCarrierInformation();
  updateOrientedKeyWindowSize();
  updateAudioVolume();
  updateAudioPortNames();
}

void ZADDevice::updateOrientation() {
  // Desktop windows never rotate: always portrait.
  platform::MutexLock lock(mutex_);
  statusBarOrientation_ = 1;
}

void ZADDevice::updateBookstores() {
  // There is no system book store to take for granted here: both are asked for.
  const platform::Dictionary answers = canOpenURLs({"itms-books://", "ereader://home"});
  uint64_t bookstores = 0;
  if (answers.find("itms-books://")->boolOr(false)) bookstores |= kSystemBookstore;
  if (answers.find("ereader://home")->boolOr(false)) bookstores |= kReaderApp;
  platform::MutexLock lock(mutex_);
  bookstores_ = bookstores;
}

void ZADDevice::updateMobileCarrierInformation() {
  // No telephony: no carrier, so no country or network code.
  setMobileCountryCode(std::nullopt);
  setMobileNetworkCode(std::nullopt);
}

void ZADDevice::updateOrientedKeyWindowSize() {
  platform::ui::Size size;
  if (auto window = platform::ui::Application::shared().keyWindow()) {
    size = ZADStandardizedRect(window->frame()).size;
  }
  platform::MutexLock lock(mutex_);
  standardizedOrientedKeyWindowSize_ = size;
}

void ZADDevice::updateAudioVolume() {
  // Neither the audio session's output volume nor a system volume slider exists here, whichever
  // way "/zorova/ads/volume_view" chooses: the volume stays at its unmeasured 1.0.
  platform::MutexLock lock(mutex_);
  audioVolume_ = 1.0f;
}

void ZADDevice::updateAudioPortNames() {
  // No audio session route to read.
  platform::MutexLock lock(mutex_);
  audioRoutePortNames_.reset();
}

void ZADDevice::setRadioAccessTechnology(const std::optional<std::string>& technology) {
  platform::MutexLock lock(mutex_);
  radioAccessTechnology_ = technology;
  if (technology) lastKnownRadioAccessTechnology_ = technology;
}

void ZADDevice::setMobileCountryCode(const std::optional<std::string>& code) {
  platform::MutexLock lock(mutex_);
  mobileCountryCode_ = code;
}

void ZADDevice::setMobileNetworkCode(const std::optional<std::string>& code) {
  platform::MutexLock lock(mutex_);
  mobileNetworkCode_ = code;
}

void ZADDevice::setUserAgentString(std::string_view userAgent) {
  if (userAgent.empty()) return;
  platform::MutexLock lock(mutex_);
  userAgentString_ = std::string(userAgent);
}

std::optional<std::string> ZADDevice::radioAccessTechnology() const {
  platform::MutexLock lock(mutex_);
  return radioAccessTechnology_;
}

std::optional<std::string> ZADDevice::lastKnownRadioAccessTechnology() const {
  platform::MutexLock lock(mutex_);
  return lastKnownRadioAccessTechnology_;
}

std::optional<std::string> ZADDevice::mobileCountryCode() const {
  platform::MutexLock lock(mutex_);
  return mobileCountryCode_;
}

std::optional<std::string> ZADDevice::mobileNetworkCode() const {
  platform::MutexLock lock(mutex_);
  return mobileNetworkCode_;
}

std::optional<std::string> ZADDevice::userAgentString() const {
  platform::MutexLock lock(mutex_);
  return userAgentString_;
}

std::optional<std::vector<std::string>> ZADDevice::audioRoutePortNames() const {
  platform::MutexLock lock(mutex_);
  return audioRoutePortNames_;
}

float ZADDevice::audioVolume() const {
  platform::MutexLock lock(mutex_);
  return audioVolume_;
}

platform::ui::Size ZADDevice::standardizedOrientedKeyWindowSize() const {
  platform::MutexLock lock(mutex_);
  return standardizedOrientedKeyWindowSize_;
}

platform::ui::Size ZADDevice::standardizedPortraitKeyWindowSize() const {
  platform::MutexLock lock(mutex_);
  return isLandscape(statusBarOrientation_) ? swapped(standardizedOrientedKeyWindowSize_)
                                            : standardizedOrientedKeyWindowSize_;
}

ZADDevice::OSVersion ZADDevice::parseOperatingSystemVersion(std::string_view text) {
  OSVersion version = {0, 0, 0};
  size_t part = 0, start = 0;
  while (part < version.size() && start <= text.size()) {
    size_t end = text.find('.', start);
    if (end == std::string_view::npos) end = text.size();
    version[part++] = platform::integerValueOfText(text.substr(start, end - start));
    start = end + 1;
  }
  return version;
}

void ZADDevice::updateOperatingSystemVersionProperties() {
  const std::string version = platform::systemVersion();
  platform::MutexLock lock(mutex_);
  systemVersion_ = version;
  operatingSystemVersion_ = parseOperatingSystemVersion(version);
}

bool ZADDevice::isOSAtLeast(int64_t major, int64_t minor, int64_t patch) const {
  platform::MutexLock lock(mutex_);
  return operatingSystemVersion_ >= OSVersion{major, minor, patch};
}

std::string ZADDevice::systemVersion() const {
  platform::MutexLock lock(mutex_);
  return systemVersion_;
}

ZADDevice::OSVersion ZADDevice::operatingSystemVersion() const {
  platform::MutexLock lock(mutex_);
  return operatingSystemVersion_;
}

std::optional<std::string> ZADDevice::baseSDKVersion() const {
  platform::MutexLock lock(mutex_);
  if (!infoPlist_) return std::nullopt;
  const platform::Value* name = infoPlist_->find("DTSDKName");
  if (!name || !name->isString()) return std::nullopt;
  std::string version = *name->stringIf();
  const platform::Value* platformName = infoPlist_->find("DTPlatformName");
  if (const std::string* remove = platformName ? platformName->stringIf() : nullptr;
      remove && !remove->empty()) {
    for (size_t at; (at = version.find(*remove)) != std::string::npos;) {
      version.erase(at, remove->size());
    }
  }
  return version;
}

const std::string& ZADDevice::deviceSubmodel() {
  static const std::string submodel = platform::machineName();
  return submodel;
}

const std::optional<std::string>& ZADDevice::locale() {
  static const std::optional<std::string> locale = []() -> std::optional<std::string> {
    auto languages = platform::UserDefaults::standard()->arrayForKey("AppleLanguages");
    if (!languages || languages->empty() || !languages->front().isString()) return std::nullopt;
    return lowercased(*languages->front().stringIf());
  }();
  return locale;
}

std::string ZADDevice::deviceModel() const {
  platform::MutexLock lock(mutex_);
  return deviceModel_;
}

double ZADDevice::mainScreenDensity() const {
  platform::MutexLock lock(mutex_);
  return mainScreenDensity_;
}

int64_t ZADDevice::statusBarOrientation() const {
  platform::MutexLock lock(mutex_);
  return statusBarOrientation_;
}

bool ZADDevice::orientationLandscape() {
  ZADRunOnMainThread([this] { updateOrientation(); });
  return isLandscape(statusBarOrientation());
}

ZADRect ZADDevice::standardizedPortraitScreenBounds() const {
  platform::MutexLock lock(mutex_);
  return standardizedMainScreenPortraitBounds_;
}

ZADRect ZADDevice::standardizedOrientedScreenBounds() {
  const bool landscape = orientationLandscape();
  ZADRect bounds = standardizedPortraitScreenBounds();
  if (landscape) bounds.size = swapped(bounds.size);
  return bounds;
}

ZADRect ZADDevice::standardizedOrientedApplicationFrame() {
  updateOrientation();
  // The desktop has no status bar: the application frame is the screen.
  const ZADRect frame = platform::ui::Screen::main().bounds();
  if (isOSAtLeast(8, 0, 0)) return ZADStandardizedRect(frame);
  return ZADStandardizedRect(ZADRectRotatedFromPortrait(statusBarOrientation(), frame,
                                                        standardizedPortraitScreenBounds()));
}

platform::Dictionary ZADDevice::canOpenURLs(const std::vector<std::string>& urls) const {
  platform::Value::Array querySchemes;
  {
    platform::MutexLock lock(mutex_);
    if (infoPlist_) {
      if (const platform::Value* listed = infoPlist_->find("LSApplicationQueriesSchemes")) {
        if (listed->isArray()) querySchemes = *listed->arrayIf();
      }
    }
  }
  const bool onlyListedSchemes = isOSAtLeast(9, 0, 0);
  platform::Dictionary answers;
  for (const std::string& text : urls) {
    bool canOpen = false;
    platform::Result<platform::URL> url = platform::URL::parse(text);
    if (url.ok() && url->isAbsolute()) {
      const bool listed = std::find(querySchemes.begin(), querySchemes.end(),
                                    platform::Value(url->scheme())) != querySchemes.end();
      canOpen =
          (!onlyListedSchemes || listed) && platform::ui::Application::shared().canOpenURL(text);
    }
    answers.set(text, canOpen);
  }
  return answers;
}

bool ZADDevice::canText() const {
  platform::MutexLock lock(mutex_);
  return canText_;
}

bool ZADDevice::canMakePhoneCalls() const {
  platform::MutexLock lock(mutex_);
  return canMakePhoneCalls_;
}

bool ZADDevice::limitAdTracking() const {
  // No advertising identifier exists here, so nothing can be tracked by one.
  return true;
}

std::string ZADDevice::deviceIdentifier() const {
  // Tracking is always limited (see limitAdTracking): no identifier to hash.
  return "";
}

bool ZADDevice::jailbroken() {
  static const bool jailbroken = [] {
    std::error_code ignored;
    return !isSimulator() && std::filesystem::exists("/Applications/Cydia.app", ignored);
  }();
  return jailbroken;
}

std::filesystem::path ZADDevice::temporaryPathWithCreation(bool create) const {
  const std::filesystem::path path = platform::AppHome::temporary() / "ZiZovTemp";
  if (create) {
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
  }
  return path;
}

uint64_t ZADDevice::bookstores() const {
  platform::MutexLock lock(mutex_);
  return bookstores_;
}

platform::Dictionary ZADDevice::parameters() {
  platform::Dictionary parameters;
  const auto setIfPresent = [&](const char* key, const auto& value) {
    if (value) parameters.set(key, *value);
  };
  const std::string model = deviceModel();
  {
    platform::MutexLock lock(mutex_);
    if (model == "iPad" && userInterfaceIdiomIsPhone_) parameters.set("ios_ipadc", "1");
  }
  parameters.set("ios_metadata", ZADiTunesMetadata());
  {
    platform::MutexLock lock(mutex_);
    setIfPresent("ios_info_plist", infoPlist_);
  }
  setIfPresent("ios_base_sdk", baseSDKVersion());
  const std::string version = ZADApplicationVersion();
  parameters.set("app_name",
                 (version.empty() ? "" : version + ".") + "iphone." + ZADMainBundleIdentifier());
  if (jailbroken()) parameters.set("ios_jb", "1");
  parameters.set("platform", model);
  parameters.set("submodel", deviceSubmodel());
  setIfPresent("hl", locale());
  if (auto ports = audioRoutePortNames()) {
    platform::Value::Array names(ports->begin(), ports->end());
    parameters.set("ios_audio_ports", std::move(names));
  }
  parameters.set("ios_output_volume", ZADTrimmedDoubleString(audioVolume()));
  parameters.set("u_so", orientationLandscape() ? "l" : "p");
  setIfPresent("ios_radio", radioAccessTechnology());
  setIfPresent("ios_radio_last", lastKnownRadioAccessTechnology());
  setIfPresent("cellular_country_code", mobileCountryCode());
  setIfPresent("cellular_network_code", mobileNetworkCode());
  parameters.set("u_sd", ZADTrimmedDoubleString(mainScreenDensity()));
  const ZADRect screen = standardizedPortraitScreenBounds();
  parameters.set("u_w", ZADTrimmedDoubleString(screen.width()));
  parameters.set("u_h", ZADTrimmedDoubleString(screen.height()));
  const platform::ui::Size window = standardizedPortraitKeyWindowSize();
  parameters.set("ios_key_window_w", ZADTrimmedDoubleString(window.width));
  parameters.set("ios_key_window_h", ZADTrimmedDoubleString(window.height));
  if (uint64_t stores = bookstores()) parameters.set("cap_bs", stores);
  // No payments on this platform.
  parameters.set("cap_noiap", "1");
  const std::shared_ptr<ZADMobileAds> mobileAds = ZADMobileAds::sharedInstance();
  parameters.set("ios_app_volume",
                 static_cast<double>(mobileAds ? mobileAds->clampedApplicationVolume() : 1.0f));
  parameters.set("ios_app_muted", mobileAds && mobileAds->applicationMuted() ? "1" : "0");
  return parameters;
}
