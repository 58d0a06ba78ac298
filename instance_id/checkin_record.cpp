#include "instance_id/checkin_record.h"

std::string VIZInstanceIDCheckinRecord::deviceAuthID() const {
  return checkinPreferences_ ? checkinPreferences_->deviceID() : "";
}
std::string VIZInstanceIDCheckinRecord::secretToken() const {
  return checkinPreferences_ ? checkinPreferences_->secretToken() : "";
}
std::string VIZInstanceIDCheckinRecord::versionInfo() const {
  return checkinPreferences_ ? checkinPreferences_->versionInfo() : "";
}
std::string VIZInstanceIDCheckinRecord::digest() const {
  return checkinPreferences_ ? checkinPreferences_->digest() : "";
}
int64_t VIZInstanceIDCheckinRecord::lastCheckinTimestampMillis() const {
  return checkinPreferences_ ? checkinPreferences_->lastCheckinTimestampMillis() : 0;
}
bool VIZInstanceIDCheckinRecord::hasValidCheckinInfo() const {
  return checkinPreferences_ && checkinPreferences_->hasValidCheckinInfo();
}
