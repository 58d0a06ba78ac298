#include "messaging/checkin/zcm_checkin_service.h"

ZCMCheckinService::ZCMCheckinService(std::shared_ptr<ZCMCheckinCache> checkinCache)
    : checkinCache_(std::move(checkinCache)) {
  if (checkinCache_) checkinPreferences_ = checkinCache_->cachedCheckinPreferences();
}

bool ZCMCheckinService::tryToLoadPrefetchedCheckinPreferences() {
  if (!checkinCache_) return false;
  std::optional<ZCMCheckinPreferences> cached = checkinCache_->cachedCheckinPreferences();
  if (!cached || !cached->hasValidCheckinInfo()) return false;
  checkinPreferences_ = std::move(cached);
  return true;
}

std::string ZCMCheckinService::deviceAuthID() const {
  return checkinPreferences_ ? checkinPreferences_->deviceID() : "";
}

std::string ZCMCheckinService::secretToken() const {
  return checkinPreferences_ ? checkinPreferences_->secretToken() : "";
}

std::string ZCMCheckinService::versionInfo() const {
  return checkinPreferences_ ? checkinPreferences_->versionInfo() : "";
}

std::string ZCMCheckinService::digest() const {
  return checkinPreferences_ ? checkinPreferences_->digest() : "";
}

int64_t ZCMCheckinService::lastCheckinTimestampMillis() const {
  return checkinPreferences_ ? checkinPreferences_->lastCheckinTimestampMillis() : 0;
}

bool ZCMCheckinService::hasValidCheckinInfo() const {
  return checkinPreferences_ && checkinPreferences_->hasValidCheckinInfo();
}

void ZCMCheckinService::reset() {
  if (checkinPreferences_) checkinPreferences_->reset();
  if (checkinCache_) {
    std::optional<platform::Error> ignored;
    checkinCache_->removeCheckinPreferences(&ignored);
  }
}
