#pragma once
// Where the check-in record lives: its credentials in the keychain item
// ("com.zorova.iid.checkin-service", "com.zorova.iid.checkin-account", generic "com.zorova.iid")
// and the rest in a backup-excluded property list. The messaging client reads both, so their
// forms are fixed. Used from one queue at a time.
#include <memory>
#include <optional>
#include <string>

#include "instance_id/auth_keychain.h"
#include "instance_id/backup_excluded_plist.h"
#include "instance_id/checkin_preferences.h"

inline constexpr const char* kVIZInstanceIDCheckinKeychainGeneric = "com.zorova.iid";
inline constexpr const char* kVIZInstanceIDCheckinKeychainService =
    "com.zorova.iid.checkin-service";
inline constexpr const char* kVIZInstanceIDCheckinKeychainAccount =
    "com.zorova.iid.checkin-account";

class VIZInstanceIDCheckinStore {
 public:
  // A store over "<name>.plist" and the client's keychain item.
  explicit VIZInstanceIDCheckinStore(const std::string& checkinPlistFileName);
  // Keeps both, then moves credentials that older versions left in the file to the keychain.
  VIZInstanceIDCheckinStore(std::shared_ptr<VIZInstanceIDBackupExcludedPlist> plist,
                            std::shared_ptr<VIZInstanceIDAuthKeychain> keychain);

  bool hasCheckinPlist() const { return plist_->doesFileExist(); }
  // Writes the keychain item, then the file; when the file fails the item is removed again, so
  // neither half is left alone.
  bool saveCheckinPreferences(const VIZInstanceIDCheckinPreferences& preferences,
                              std::optional<platform::Error>* error);
  // The record of the keychain item (or of older file credentials) completed by the file.
  std::optional<VIZInstanceIDCheckinPreferences> cachedCheckinPreferences();
  bool removeCheckinPreferences(std::optional<platform::Error>* error);

  VIZInstanceIDBackupExcludedPlist& plist() { return *plist_; }

 private:
  void moveCheckinAuthPreferencesToKeychain();

  std::shared_ptr<VIZInstanceIDBackupExcludedPlist> plist_;
  std::shared_ptr<VIZInstanceIDAuthKeychain> keychain_;
};
