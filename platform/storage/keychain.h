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

// A key item: an RSA key, or one half of a pair, told apart from other keys by its application
// tag. A private key's data is its PKCS#8 PrivateKeyInfo DER, a public key's its PKCS#1
// RSAPublicKey DER (the form the platform exports public keys in).
enum class KeychainKeyClass { Public, Private };
struct KeychainKey {
  std::string applicationTag;
  KeychainKeyClass keyClass = KeychainKeyClass::Public;
  Bytes data;

  bool operator==(const KeychainKey&) const = default;
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
  // Deletes the items matching the query and adds the item, as one change: nothing is written
  // when the item is already there as it is, and nothing changes when another item has its
  // service and account (kKeychainDuplicateItem).
  KeychainStatus replacePasswords(const KeychainQuery& query, const KeychainPassword& item,
                                  KeychainWrite write = KeychainWrite::Now);

  // Key items (RSA keys only). Adds a key; tags need not be unique.
  KeychainStatus addKey(const KeychainKey& key);
  // The first key with the tag, in the order keys were added.
  KeychainStatus findKey(std::string_view applicationTag, KeychainKey* key) const;
  // Deletes every key with the tag; kKeychainItemNotFound when none has it.
  KeychainStatus deleteKeys(std::string_view applicationTag);

  KeychainStore& store() { return store_; }

 private:
  KeychainStore store_;
};

}  // namespace platform
