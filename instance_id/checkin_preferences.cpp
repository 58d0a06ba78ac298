#include "instance_id/checkin_preferences.h"

#include <vector>

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"

namespace {

std::string textOf(const platform::Dictionary& contents, const char* key) {
  const platform::Value* value = contents.find(key);
  return value ? value->stringOr("") : "";
}

}  // namespace

std::optional<VIZInstanceIDCheckinPreferences>
VIZInstanceIDCheckinPreferences::preferencesFromKeychainContents(const std::string& contents) {
  std::optional<std::string> deviceID = checkinDeviceIDFromKeychainContent(contents);
  std::optional<std::string> secret = checkinSecretFromKeychainContent(contents);
  if (!deviceID || !secret || deviceID->empty() || secret->empty()) return std::nullopt;
  return VIZInstanceIDCheckinPreferences(*deviceID, *secret);
}

std::optional<std::string> VIZInstanceIDCheckinPreferences::checkinDeviceIDFromKeychainContent(
    const std::string& content) {
  return checkinKeychainContent(content, 0);
}

std::optional<std::string> VIZInstanceIDCheckinPreferences::checkinSecretFromKeychainContent(
    const std::string& content) {
  return checkinKeychainContent(content, 1);
}

std::optional<std::string> VIZInstanceIDCheckinPreferences::checkinKeychainContent(
    const std::string& content, size_t index) {
  std::vector<std::string> parts = VIZInstanceIDSplit(content, "|");
  if (index > 1 || parts.size() != 2) return std::nullopt;
  return parts[index];
}

std::optional<VIZInstanceIDCheckinPreferences>
VIZInstanceIDCheckinPreferences::preferencesWithStoredCredentials(
    std::optional<VIZInstanceIDCheckinPreferences> fromKeychain,
    const platform::Dictionary& plistContents) {
  const std::string fileDeviceID = textOf(plistContents, kVIZInstanceIDDeviceAuthIdKey);
  const std::string fileSecret = textOf(plistContents, kVIZInstanceIDSecretTokenKey);
  if (fileDeviceID.empty() || fileSecret.empty()) return fromKeychain;
  if (fromKeychain && plistContents.size() != 6) return fromKeychain;
  return VIZInstanceIDCheckinPreferences(fileDeviceID, fileSecret);
}

std::optional<std::string> VIZInstanceIDCheckinPreferences::checkinKeychainContent() const {
  if (deviceID_.empty() || secretToken_.empty()) return std::nullopt;
  return deviceID_ + "|" + secretToken_;
}

platform::Dictionary VIZInstanceIDCheckinPreferences::checkinPlistContents() const {
  return {{kVIZInstanceIDDigestKey, digest_},
          {kVIZInstanceIDVersionInfoKey, versionInfo_},
          {kVIZInstanceIDLastCheckinTimestampKey, lastCheckinTimestampMillis_},
          {kVIZInstanceIDZServicesDataKey, zServicesData_}};
}

void VIZInstanceIDCheckinPreferences::updateWithCheckinPlistContents(
    const platform::Dictionary& contents) {
  for (const auto& [key, value] : contents) {
    if (key == kVIZInstanceIDDigestKey) {
      digest_ = value.stringOr("");
    } else if (key == kVIZInstanceIDVersionInfoKey) {
      versionInfo_ = value.stringOr("");
    } else if (key == kVIZInstanceIDLastCheckinTimestampKey) {
      lastCheckinTimestampMillis_ = value.intOr(0);
    } else if (key == kVIZInstanceIDZServicesDataKey) {
      const platform::Dictionary* settings = value.dictionaryIf();
      zServicesData_ = settings ? *settings : platform::Dictionary();
    } else {
      VIZ_IID_LOG_ERROR("Invalid key in checkin plist: %s", key.c_str());
    }
  }
}

bool VIZInstanceIDCheckinPreferences::hasValidCheckinInfo() const {
  if (deviceID_.empty() || secretToken_.empty()) return false;
  // A stored time so far off that the difference overflows is not a valid check-in.
  int64_t age = 0;
  if (__builtin_sub_overflow(VIZInstanceIDCurrentTimestampInMilliseconds(),
                             lastCheckinTimestampMillis_, &age)) {
    return false;
  }
  return age < kVIZInstanceIDCheckinValidityMillis;
}

void VIZInstanceIDCheckinPreferences::reset() { *this = VIZInstanceIDCheckinPreferences("", ""); }
