#pragma once
// Names the keychain items of a pair by subtype and keeps each pair's creation time in the
// backup-excluded property list "com.zorova.iid-keypair". A keychain pair without a recorded
// time is discarded: the list goes with the app's data while the keychain outlives a reinstall,
// so a reinstalled app makes a new pair and with it a new identity.
#include <cstdint>
#include <optional>
#include <string>

#include "instance_id/backup_excluded_plist.h"
#include "instance_id/key_pair.h"

class VIZInstanceIDKeyPairStore {
 public:
  VIZInstanceIDKeyPairStore() : plist_(keyStoreFileName()) {}

  static std::string keyStoreFileName() { return "com.zorova.iid-keypair"; }
  static std::string publicTagWithSubtype(const std::string& subtype);
  static std::string privateTagWithSubtype(const std::string& subtype);
  static std::string creationTimeKeyWithSubtype(const std::string& subtype);

  // A new pair, its creation time (seconds) recorded; when the time cannot be written the pair
  // is deleted again.
  platform::Result<VIZInstanceIDKeyPair> generateAndSaveKeyWithSubtype(const std::string& subtype,
                                                                       int64_t creationTime);
  // The keychain pair when its creation time is recorded; else the pair is deleted and 2005
  // answered.
  platform::Result<VIZInstanceIDKeyPair> validCachedKeyPairWithSubtype(const std::string& subtype);
  // The keychain pair, without the creation-time test.
  platform::Result<VIZInstanceIDKeyPair> cachedKeyPairWithSubtype(const std::string& subtype);
  bool deleteSavedKeyPairWithSubtype(const std::string& subtype,
                                     std::optional<platform::Error>* error);
  bool removeKeyPairCreationTimePlist(std::optional<platform::Error>* error);

 private:
  VIZInstanceIDBackupExcludedPlist plist_;
};
