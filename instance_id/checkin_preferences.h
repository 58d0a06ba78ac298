#pragma once
// The check-in record: the device's credentials (device id and secret token, 64-bit numbers kept
// as decimal text) with the digest, version info and settings of the last reply and its time. A
// record is valid for 24 hours after its check-in time. It is stored in two forms: the keychain
// text "<device id>|<secret token>" and a property-list dictionary of the rest.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

inline constexpr const char* kVIZInstanceIDDigestKey = "VOZInstanceIDDigestKey";
inline constexpr const char* kVIZInstanceIDVersionInfoKey = "VOZInstanceIDVersionInfo";
inline constexpr const char* kVIZInstanceIDLastCheckinTimestampKey =
    "VOZInstanceIDLastCheckinTimestampKey";
inline constexpr const char* kVIZInstanceIDZServicesDataKey = "VOZInstanceIDZServicesData";
// The credentials as older versions kept them in the property list.
inline constexpr const char* kVIZInstanceIDDeviceAuthIdKey = "VOZInstanceIDDeviceAuthIdKey";
inline constexpr const char* kVIZInstanceIDSecretTokenKey = "VOZInstanceIDSecretTokenKey";

inline constexpr int64_t kVIZInstanceIDCheckinValidityMillis = 86'400'000;

class VIZInstanceIDCheckinPreferences {
 public:
  VIZInstanceIDCheckinPreferences(std::string deviceID, std::string secretToken)
      : deviceID_(std::move(deviceID)), secretToken_(std::move(secretToken)) {}

  // A record of the keychain text's two non-empty parts; nothing for any other text.
  static std::optional<VIZInstanceIDCheckinPreferences> preferencesFromKeychainContents(
      const std::string& contents);
  static std::optional<std::string> checkinDeviceIDFromKeychainContent(const std::string& content);
  static std::optional<std::string> checkinSecretFromKeychainContent(const std::string& content);
  // Part 0 or 1 of a text of exactly two parts split at "|"; nothing otherwise.
  static std::optional<std::string> checkinKeychainContent(const std::string& content,
                                                           size_t index);
  // The credentials of a stored record: the keychain's, unless the property list holds both
  // credentials and either the keychain gave none or the list is of the older six-key form.
  // Nothing when neither gives credentials. Only the credentials are set.
  static std::optional<VIZInstanceIDCheckinPreferences> preferencesWithStoredCredentials(
      std::optional<VIZInstanceIDCheckinPreferences> fromKeychain,
      const platform::Dictionary& plistContents);

  const std::string& deviceID() const { return deviceID_; }
  const std::string& secretToken() const { return secretToken_; }
  const std::string& digest() const { return digest_; }
  const std::string& versionInfo() const { return versionInfo_; }
  const platform::Dictionary& zServicesData() const { return zServicesData_; }
  int64_t lastCheckinTimestampMillis() const { return lastCheckinTimestampMillis_; }

  // "<device id>|<secret token>"; nothing unless both are non-empty.
  std::optional<std::string> checkinKeychainContent() const;
  // The four keys of the property-list form.
  platform::Dictionary checkinPlistContents() const;
  // Takes digest, version info, check-in time and settings from a property-list form; any other
  // key is logged and ignored (the credentials never change here).
  void updateWithCheckinPlistContents(const platform::Dictionary& contents);

  // Both credentials present and checked in less than 24 hours ago (or in the future).
  bool hasValidCheckinInfo() const;
  void reset();

 private:
  std::string deviceID_;
  std::string secretToken_;
  std::string digest_;
  std::string versionInfo_;
  platform::Dictionary zServicesData_;
  int64_t lastCheckinTimestampMillis_ = 0;
};
