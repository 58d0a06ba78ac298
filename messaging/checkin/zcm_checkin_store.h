#pragma once
// Reads the device credentials where the identity client stores them: the keychain item
// (service "com.zorova.iid.checkin-service", account "com.zorova.iid.checkin-account", generic
// "com.zorova.iid") and the property list "g-checkin.plist" in the documents folder. Nothing is
// held in memory: every read goes to the keychain and the file. Main thread only.
#include <filesystem>
#include <string>

#include "instance_id/checkin_store.h"
#include "instance_id/iid_store.h"
#include "messaging/checkin/zcm_auth_keychain.h"
#include "messaging/checkin/zcm_checkin_service.h"

// Where the identity client keeps the record.
inline constexpr const char* kZCMCheckinKeychainService = kVIZInstanceIDCheckinKeychainService;
inline constexpr const char* kZCMCheckinKeychainAccount = kVIZInstanceIDCheckinKeychainAccount;
inline constexpr const char* kZCMCheckinKeychainGeneric = kVIZInstanceIDCheckinKeychainGeneric;
inline constexpr const char* kZCMCheckinPlistFileName = kVIZInstanceIDCheckinPlistFileName;

class ZCMCheckinStore : public ZCMCheckinCache {
 public:
  // "g-checkin" and the keychain of the generic attribute "com.zorova.iid".
  ZCMCheckinStore();
  ZCMCheckinStore(std::string fileName, ZCMAuthKeychain keychain)
      : fileName_(std::move(fileName)), keychain_(std::move(keychain)) {}

  const std::string& fileName() const { return fileName_; }
  const ZCMAuthKeychain& keychain() const { return keychain_; }

  // "<documents>/<name>.plist".
  static std::filesystem::path pathForCheckinPlist(const std::string& fileName);
  std::filesystem::path pathForCheckinPlist() const { return pathForCheckinPlist(fileName_); }
  bool hasCheckinPlist() const;

  // The record of the keychain item and the file; nothing without the file. A keychain item
  // that can't be read (other than a missing one) is logged and the file read all the same.
  std::optional<ZCMCheckinPreferences> cachedCheckinPreferences() override;
  // Deletes the keychain item, then the file. A failed keychain deletion leaves the file and
  // answers false.
  bool removeCheckinPreferences(std::optional<platform::Error>* error) override;

 private:
  std::string fileName_;
  ZCMAuthKeychain keychain_;
};
