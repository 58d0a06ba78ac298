#pragma once
// Generic-password keychain items of the instance-identity client: one item per service and
// account, all carrying this object's generic attribute. Failures are errors of the client's
// domain whose code is the keychain status (-1301 for an empty service, account or password).
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/storage/keychain.h"

class VIZInstanceIDAuthKeychain {
 public:
  // The wildcard that leaves the service or account out of a query.
  static constexpr const char* kWildcard = "*";

  // Changes reach the disk as `write` says: soon after for items that can be fetched again.
  explicit VIZInstanceIDAuthKeychain(std::string identifier,
                                     platform::KeychainWrite write = platform::KeychainWrite::Now)
      : generic_(std::move(identifier)), write_(write) {}

  const std::string& generic() const { return generic_; }

  // The query for the items of the service and account; an empty or wildcard value matches any.
  static platform::KeychainQuery keychainQueryForService(const std::string& service,
                                                         const std::string& account,
                                                         const std::string& generic);
  // After first unlock, this device only.
  static platform::KeychainAccessibility keychainItemAccessibility();

  // The item's text; nothing with no error when the item is empty.
  platform::Result<std::optional<std::string>> passwordForService(const std::string& service,
                                                                  const std::string& account) const;
  // Success also when nothing was there to remove (the error then says -25300).
  bool removePasswordForService(const std::string& service, const std::string& account,
                                std::optional<platform::Error>* error = nullptr);
  // Replaces the item, as one change (none when it is already stored as it is). The password is
  // checked before the old item goes, so a refused write keeps what was stored.
  bool setPassword(const std::string& password, const std::string& service,
                   std::optional<platform::KeychainAccessibility> accessibility,
                   const std::string& account, std::optional<platform::Error>* error = nullptr);
  // Every item with this object's generic attribute.
  bool removeAllItems(std::optional<platform::Error>* error = nullptr);

 private:
  std::string generic_;
  platform::KeychainWrite write_;
};
