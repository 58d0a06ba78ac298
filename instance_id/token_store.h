#pragma once
// The token cache: one keychain item per (authorized entity, scope), generic attribute
// "com.zorova.iid-tokens", service = scope, account = entity, holding
// "<seconds>|Token|<token>". Used from one queue at a time.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "instance_id/auth_keychain.h"

inline constexpr const char* kVIZInstanceIDTokensIdentifier = "com.zorova.iid-tokens";

class VIZInstanceIDTokenStore {
 public:
  static std::shared_ptr<VIZInstanceIDTokenStore> defaultStore();
  explicit VIZInstanceIDTokenStore(std::shared_ptr<VIZInstanceIDAuthKeychain> keychain)
      : keychain_(std::move(keychain)) {}

  std::optional<std::string> tokenWithAuthorizedEntity(const std::string& entity,
                                                       const std::string& scope) const;
  // Seconds since 1970 when the token was cached; 0 when unknown.
  int64_t cacheTimeForTokenWithAuthorizedEntity(const std::string& entity,
                                                const std::string& scope) const;
  // Stores the token with the current time.
  bool saveToken(const std::string& token, const std::string& entity, const std::string& scope);
  bool removeTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                       std::optional<platform::Error>* error);
  // Every token of the service "ZCM" (matched exactly).
  bool removeZCMTokens(std::optional<platform::Error>* error);
  bool removeAllTokens(std::optional<platform::Error>* error);

  // "|T|<entity>|<scope>": the name of a token in older property lists and of a registration.
  static std::string cacheKeyForAuthorizedEntity(const std::string& entity,
                                                 const std::string& scope);
  static std::string cacheValueForToken(const std::string& token);
  // The text after the first "|Token|"; nothing when there is none or nothing follows.
  static std::optional<std::string> actualTokenFromCachedToken(const std::string& cached);
  // The number before "|Token|"; 0 without one.
  static int64_t cacheTimeForCachedToken(const std::string& cached);

 private:
  // Removes the items of the service and account (a wildcard matches any) and logs the outcome.
  bool removeLogged(const std::string& service, const std::string& account,
                    std::optional<platform::Error>* error, const std::string& success,
                    const char* failureFormat) __attribute__((format(printf, 6, 0)));
  std::optional<std::string> storedValue(const std::string& entity, const std::string& scope) const;

  std::shared_ptr<VIZInstanceIDAuthKeychain> keychain_;
};
