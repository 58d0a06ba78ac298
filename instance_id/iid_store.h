#pragma once
// What the client remembers: the token cache, the check-in record (as the check-in's cache) and
// the last push token per server type in the backup-excluded list "com.zorova.iid-tokens". Made
// once when the client starts; its creation detects a new or restored installation (the user
// default "VOZInstanceID-version" missing) and clears what must not survive it, including the
// server registrations of the old credentials. Main queue.
#include <memory>
#include <optional>
#include <string>

#include "instance_id/backup_excluded_plist.h"
#include "instance_id/checkin_service.h"
#include "instance_id/checkin_store.h"
#include "instance_id/token_store.h"

inline constexpr const char* kVIZInstanceIDLibraryVersionKey = "VOZInstanceID-version";
inline constexpr const char* kVIZInstanceIDCheckinPlistFileName = "g-checkin";

class VIZInstanceIDStore : public VIZInstanceIDCheckinCache {
 public:
  static std::shared_ptr<VIZInstanceIDStore> defaultStore();
  // Keeps the parts, then resets a new installation, saves the library version and moves tokens
  // older versions left in the list into the keychain.
  VIZInstanceIDStore(std::shared_ptr<VIZInstanceIDBackupExcludedPlist> tokenPlist,
                     std::shared_ptr<VIZInstanceIDCheckinStore> checkinStore,
                     std::shared_ptr<VIZInstanceIDTokenStore> tokenStore);

  static std::string tokenPlistFileName() { return "com.zorova.iid-tokens"; }

  std::optional<std::string> tokenWithAuthorizedEntity(const std::string& entity,
                                                       const std::string& scope) const;
  int64_t cacheTimeForTokenWithAuthorizedEntity(const std::string& entity,
                                                const std::string& scope) const;
  void saveToken(const std::string& token, const std::string& entity, const std::string& scope);
  bool removeAllCachedTokens(std::optional<platform::Error>* error);
  bool removeAllZCMTokens(std::optional<platform::Error>* error);

  std::optional<std::string> cachedAPNSTokenForServerType(bool sandbox);
  void saveAPNSToken(const std::string& token, bool sandbox);
  void removeCachedAPNSTokenForServerType(bool sandbox);

  bool saveCheckinPreferences(const VIZInstanceIDCheckinPreferences& preferences,
                              std::optional<platform::Error>* error) override;
  std::optional<VIZInstanceIDCheckinPreferences> cachedCheckinPreferences() override;
  bool removeCheckinPreferences(std::optional<platform::Error>* error) override;

  static bool hasSavedLibraryVersion();
  // "|O|VOZInstanceIDApnsTokenKey|sandbox" or "...|prod".
  static std::string apnsTokenCacheKeyForServerType(bool sandbox);
  // The entity and scope of a token cache key; nothing unless it has exactly four parts.
  static std::optional<std::string> authorizedEntityInTokenCacheKey(const std::string& key);
  static std::optional<std::string> scopeInTokenCacheKey(const std::string& key);
  // Asks the server to drop the messaging registrations made with the credentials.
  static void deleteZCMTokensOnAppReset(const VIZInstanceIDCheckinPreferences& preferences);

 private:
  void resetNewApp();
  void saveLibraryVersion();
  void moveTokensToKeychain();

  std::shared_ptr<VIZInstanceIDBackupExcludedPlist> tokenPlist_;
  std::shared_ptr<VIZInstanceIDCheckinStore> checkinStore_;
  std::shared_ptr<VIZInstanceIDTokenStore> tokenStore_;
};
