#include "messaging/checkin/zcm_checkin_preferences.h"

#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_logger.h"
#include "platform/foundation/text_number.h"

std::optional<ZCMCheckinPreferences> ZCMCheckinPreferences::preferencesFromKeychainContents(
    const std::string& contents) {
  std::optional<std::string> deviceID = checkinDeviceIDFromKeychainContent(contents);
  std::optional<std::string> secret = checkinSecretFromKeychainContent(contents);
  if (!deviceID || !secret || deviceID->empty() || secret->empty()) return std::nullopt;
  return ZCMCheckinPreferences(*deviceID, *secret);
}

std::optional<std::string> ZCMCheckinPreferences::checkinDeviceIDFromKeychainContent(
    const std::string& content) {
  return checkinKeychainContent(content, 0);
}

std::optional<std::string> ZCMCheckinPreferences::checkinSecretFromKeychainContent(
    const std::string& content) {
  return checkinKeychainContent(content, 1);
}

std::optional<std::string> ZCMCheckinPreferences::checkinKeychainContent(const std::string& content,
                                                                         size_t index) {
  if (index > 1) return std::nullopt;
  const size_t bar = content.find('|');
  if (bar == std::string::npos || content.find('|', bar + 1) != std::string::npos) {
    return std::nullopt;
  }
  return index == 0 ? content.substr(0, bar) : content.substr(bar + 1);
}

std::optional<std::string> ZCMCheckinPreferences::checkinKeychainContent() const {
  if (deviceID_.empty() || secretToken_.empty()) return std::nullopt;
  return deviceID_ + "|" + secretToken_;
}

platform::Dictionary ZCMCheckinPreferences::checkinPlistContents() const {
  return {{kZCMCheckinDigestKey, digest_},
          {kZCMCheckinVersionInfoKey, versionInfo_},
          {kZCMCheckinLastCheckinTimestampKey, lastCheckinTimestampMillis_},
          {kZCMCheckinZServicesDataKey, zServicesData_}};
}

void ZCMCheckinPreferences::updateWithCheckinPlistContents(const platform::Dictionary& contents) {
  for (const auto& [key, value] : contents) {
    if (key == kZCMCheckinDigestKey) {
      digest_ = value.stringOr("");
    } else if (key == kZCMCheckinVersionInfoKey) {
      versionInfo_ = value.stringOr("");
    } else if (key == kZCMCheckinLastCheckinTimestampKey) {
      const std::string* text = value.stringIf();
      lastCheckinTimestampMillis_ = text ? platform::integerValueOfText(*text) : value.intOr(0);
    } else if (key == kZCMCheckinZServicesDataKey) {
      const platform::Dictionary* settings = value.dictionaryIf();
      zServicesData_ = settings ? *settings : platform::Dictionary();
    } else {
      ZCM_LOG_ERROR("Invalid key in checkin plist: %s", key.c_str());
    }
  }
}

bool ZCMCheckinPreferences::hasValidCheckinInfo() const {
  if (deviceID_.empty() || secretToken_.empty()) return false;
  // A stored time so far off that the difference overflows is not a valid check-in.
  int64_t age = 0;
  if (__builtin_sub_overflow(ZCMCurrentTimestampInMilliseconds(), lastCheckinTimestampMillis_,
                             &age)) {
    return false;
  }
  return age < kZCMCheckinValidityMillis;
}

void ZCMCheckinPreferences::reset() { *this = ZCMCheckinPreferences("", ""); }
