#include "ads/foundation/sdk_core_services.h"

#include <cmath>

#include "platform/foundation/text_number.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/storage/user_defaults.h"

namespace {

platform::Mutex gMobileAdsMutex;
std::shared_ptr<ZADMobileAds> gMobileAds VKR_GUARDED_BY(gMobileAdsMutex);

platform::Mutex gInterstitialCacheMutex;
std::function<std::shared_ptr<ZADInterstitialCache>()> gInterstitialCacheFactory
    VKR_GUARDED_BY(gInterstitialCacheMutex);
std::shared_ptr<ZADInterstitialCache> gInterstitialCache VKR_GUARDED_BY(gInterstitialCacheMutex);

}  // namespace

const std::string& ZADRequest::sdkVersion() {
  static const std::string version = "voda-sdk-i-v7.7.0";
  return version;
}

std::shared_ptr<ZADMobileAds> ZADMobileAds::sharedInstance() {
  platform::MutexLock lock(gMobileAdsMutex);
  return gMobileAds;
}

void ZADMobileAds::setSharedInstance(std::shared_ptr<ZADMobileAds> instance) {
  platform::MutexLock lock(gMobileAdsMutex);
  gMobileAds = std::move(instance);
}

void ZADInterstitialCache::setSharedInstanceFactory(
    std::function<std::shared_ptr<ZADInterstitialCache>()> factory) {
  platform::MutexLock lock(gInterstitialCacheMutex);
  gInterstitialCacheFactory = std::move(factory);
}

std::shared_ptr<ZADInterstitialCache> ZADInterstitialCache::sharedInstance() {
  platform::MutexLock lock(gInterstitialCacheMutex);
  if (!gInterstitialCache && gInterstitialCacheFactory)
    gInterstitialCache = gInterstitialCacheFactory();
  return gInterstitialCache;
}

std::string ZADServerConstantKey(std::string_view name) {
  return "/zorova/ads/" + std::string(name);
}

double ZADPositiveServerConstant(std::string_view name, double fallback) {
  const platform::Value stored =
      platform::UserDefaults::standard()->objectForKey(ZADServerConstantKey(name));
  double value = 0;
  if (auto number = stored.asDouble()) {
    value = *number;
  } else if (const std::string* text = stored.stringIf()) {
    value = platform::doubleValueOfText(*text);
  }
  return value > 0 && std::isfinite(value) ? value : fallback;
}
