#pragma once
// Generic-password keychain items as the messaging client reads them: every query names the item
// class, this object's generic attribute, the account and the service, each exactly as given.
// Failures are errors of the messaging domain whose code is the keychain status (-1301 for an
// empty service, account or password).
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/storage/keychain.h"

class ZCMAuthKeychain {
 public:
  explicit ZCMAuthKeychain(std::string identifier) : generic_(std::move(identifier)) {}

  const std::string& generic() const { return generic_; }
  void setGeneric(std::string generic) { generic_ = std::move(generic); }

  static platform::KeychainQuery keychainQueryForService(const std::string& service,
                                                         const std::string& account,
                                                         const std::string& generic);
  platform::KeychainQuery keychainQueryForService(const std::string& service,
                                                  const std::string& account) const;
  // After first unlock, this device only.
  static platform::KeychainAccessibility keychainItemAccessibility();

  // The item's text; nothing, without an error, when the item is empty. A missing item is the
  // error -25300.
  platform::Result<std::optional<std::string>> passwordForService(const std::string& service,
                                                                  const std::string& account) const;
  // Success also when there was nothing to remove; every status other than success, -25300
  // included, is reported in `error`.
  bool removePasswordForService(const std::string& service, const std::string& account,
                                std::optional<platform::Error>* error = nullptr);
  // Replaces the item (with the default accessibility when none is given). The password is
  // checked before the old item goes, so a refused write keeps what was stored.
  bool setPassword(const std::string& password, const std::string& service,
                   std::optional<platform::KeychainAccessibility> accessibility,
                   const std::string& account, std::optional<platform::Error>* error = nullptr);

 private:
  std::string generic_;
};
