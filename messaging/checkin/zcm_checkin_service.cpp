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

void ZCMCheckinService::reset() {
  if (checkinPreferences_) checkinPreferences_->reset();
  if (checkinCache_) {
    std::optional<platform::Error> ignored;
    checkinCache_->removeCheckinPreferences(&ignored);
  }
}
