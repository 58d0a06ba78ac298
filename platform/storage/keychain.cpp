#include "platform/storage/keychain.h"

#include <algorithm>

#include "platform/foundation/thread_annotations.h"
#include "platform/storage/app_environment.h"

namespace platform {

namespace {

constexpr std::string_view kGenericPasswords = "genericPasswords";

// Accessibility as stored in the file.
constexpr std::pair<KeychainAccessibility, const char*> kAccessibilityNames[] = {
    {KeychainAccessibility::WhenUnlocked, "WhenUnlocked"},
    {KeychainAccessibility::AfterFirstUnlock, "AfterFirstUnlock"},
    {KeychainAccessibility::WhenUnlockedThisDeviceOnly, "WhenUnlockedThisDeviceOnly"},
    {KeychainAccessibility::AfterFirstUnlockThisDeviceOnly, "AfterFirstUnlockThisDeviceOnly"},
};

const char* accessibilityName(KeychainAccessibility accessibility) {
  for (const auto& [value, name] : kAccessibilityNames) {
    if (value == accessibility) return name;
  }
  return kAccessibilityNames[0].second;
}

KeychainAccessibility accessibilityNamed(const std::string& text) {
  for (const auto& [value, name] : kAccessibilityNames) {
    if (text == name) return value;
  }
  return KeychainAccessibility::WhenUnlocked;
}

Value record(const KeychainPassword& item) {
  return Value::dictionary({{"service", item.service},
                            {"account", item.account},
                            {"generic", item.generic},
                            {"accessibility", accessibilityName(item.accessibility)},
                            {"data", item.data}});
}

KeychainPassword password(const Value& record) {
  const Bytes* data = record["data"].dataIf();
  return {record["service"].stringOr(""), record["account"].stringOr(""),
          record["generic"].stringOr(""), accessibilityNamed(record["accessibility"].stringOr("")),
          data ? *data : Bytes()};
}

bool matches(const KeychainQuery& query, const Value& record) {
  const auto same = [&](const std::optional<std::string>& wanted, const char* attribute) {
    return !wanted || record[attribute].stringOr("") == *wanted;
  };
  return same(query.service, "service") && same(query.account, "account") &&
         same(query.generic, "generic");
}

// Adds the item to the records unless one has its service and account.
KeychainStatus add(const KeychainPassword& item, Value::Array& records) {
  KeychainQuery identity{item.service, item.account, std::nullopt};
  for (const Value& existing : records) {
    if (matches(identity, existing)) return kKeychainDuplicateItem;
  }
  records.push_back(record(item));
  return kKeychainSuccess;
}

platform::Mutex sharedMutex;
std::shared_ptr<Keychain> sharedKeychain VKR_GUARDED_BY(sharedMutex);
uint64_t sharedGeneration VKR_GUARDED_BY(sharedMutex) = 0;

}  // namespace

std::shared_ptr<Keychain> Keychain::shared() {
  std::shared_ptr<const AppEnvironment> environment = AppEnvironment::current();
  platform::MutexLock lock(sharedMutex);
  if (!sharedKeychain || sharedGeneration != environment->generation()) {
    sharedKeychain = std::make_shared<Keychain>(environment->keychainFolder());
    sharedGeneration = environment->generation();
  }
  return sharedKeychain;
}

Keychain::Keychain(std::filesystem::path folder) : store_(std::move(folder)) {}

KeychainStatus Keychain::addPassword(const KeychainPassword& item) {
  return store_.modify(kGenericPasswords,
                       [&](Value::Array& records) { return add(item, records); });
}

KeychainStatus Keychain::replacePasswords(const KeychainQuery& query, const KeychainPassword& item,
                                          KeychainWrite write) {
  return store_.modify(
      kGenericPasswords,
      [&](Value::Array& records) {
        const Value wanted = record(item);
        const auto matching = [&](const Value& existing) { return matches(query, existing); };
        if (std::count_if(records.begin(), records.end(), matching) == 1 &&
            std::find(records.begin(), records.end(), wanted) != records.end() &&
            matching(wanted)) {
          return kKeychainSuccess;  // already there as it is
        }
        std::erase_if(records, matching);
        return add(item, records);
      },
      write);
}

KeychainStatus Keychain::findPassword(const KeychainQuery& query, KeychainPassword* item) const {
  KeychainStatus status = kKeychainItemNotFound;
  store_.read(kGenericPasswords, [&](const Value::Array& records) {
    for (const Value& existing : records) {
      if (!matches(query, existing)) continue;
      if (item) *item = password(existing);
      status = kKeychainSuccess;
      return;
    }
  });
  return status;
}

KeychainStatus Keychain::findPasswords(const KeychainQuery& query,
                                       std::vector<KeychainPassword>* items) const {
  std::vector<KeychainPassword> found;
  store_.read(kGenericPasswords, [&](const Value::Array& records) {
    for (const Value& existing : records) {
      if (matches(query, existing)) found.push_back(password(existing));
    }
  });
  if (found.empty()) return kKeychainItemNotFound;
  if (items) *items = std::move(found);
  return kKeychainSuccess;
}

KeychainStatus Keychain::updatePasswords(const KeychainQuery& query,
                                         const KeychainPasswordUpdate& update) {
  return store_.modify(kGenericPasswords, [&](Value::Array& records) {
    KeychainStatus status = kKeychainItemNotFound;
    for (Value& existing : records) {
      if (!matches(query, existing)) continue;
      KeychainPassword item = password(existing);
      if (update.data) item.data = *update.data;
      if (update.generic) item.generic = *update.generic;
      if (update.accessibility) item.accessibility = *update.accessibility;
      existing = record(item);
      status = kKeychainSuccess;
    }
    return status;
  });
}

KeychainStatus Keychain::deletePasswords(const KeychainQuery& query) {
  return store_.modify(kGenericPasswords, [&](Value::Array& records) {
    size_t before = records.size();
    std::erase_if(records, [&](const Value& existing) { return matches(query, existing); });
    return records.size() < before ? kKeychainSuccess : kKeychainItemNotFound;
  });
}

}  // namespace platform
