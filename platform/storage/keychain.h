#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/storage/keychain_store.h"

namespace platform {

// When an item may be read. Nothing locks on Linux, so the value is only kept with the item.
enum class KeychainAccessibility {
  WhenUnlocked,
  AfterFirstUnlock,
  WhenUnlockedThisDeviceOnly,
  AfterFirstUnlockThisDeviceOnly,
};

// A generic-password item. An item is identified by its service and account.
struct KeychainPassword {
  std::string service;
  std::string account;
  std::string generic;  // the generic attribute; empty when the item has none
  KeychainAccessibility accessibility = KeychainAccessibility::WhenUnlocked;
  Bytes data;

  bool operator==(const KeychainPassword&) const = default;
};

// Which items an operation applies to: every item whose attributes equal the given ones; an
// attribute left out matches any value.
struct KeychainQuery {
  std::optional<std::string> service{};
  std::optional<std::string> account{};
  std::optional<std::string> generic{};
};

// What an update changes; attributes left out stay as they are.
struct KeychainPasswordUpdate {
  std::optional<Bytes> data{};
  std::optional<std::string> generic{};
  std::optional<KeychainAccessibility> accessibility{};
};

// The app's keychain: items that outlive the app's home (a reinstall wipes the home, not the
// keychain). Operations answer the platform's statuses: kKeychainSuccess,
// kKeychainItemNotFound, kKeychainDuplicateItem, or kKeychainIOError when the change could not be
// written (it is then not made). Thread-safe.
//
// Generic passwords are its first item class; further classes (keys) keep their records in the
// same store() under names of their own.
class Keychain {
 public:
  // The keychain of the current app environment's keychain folder; made anew when the
  // environment changes.
  static std::shared_ptr<Keychain> shared();

  explicit Keychain(std::filesystem::path folder);

  // Adds an item; kKeychainDuplicateItem when one with its service and account exists.
  KeychainStatus addPassword(const KeychainPassword& item);
  // The first matching item, in the order items were added.
  KeychainStatus findPassword(const KeychainQuery& query, KeychainPassword* item) const;
  // Every matching item, in the order they were added; kKeychainItemNotFound when none.
  KeychainStatus findPasswords(const KeychainQuery& query,
                               std::vector<KeychainPassword>* items) const;
  // Changes every matching item; kKeychainItemNotFound when none matches.
  KeychainStatus updatePasswords(const KeychainQuery& query, const KeychainPasswordUpdate& update);
  // Deletes every matching item; kKeychainItemNotFound when none matches.
  KeychainStatus deletePasswords(const KeychainQuery& query);

  KeychainStore& store() { return store_; }

 private:
  KeychainStore store_;
};

}  // namespace platform
