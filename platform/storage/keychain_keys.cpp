#include "platform/storage/keychain.h"

namespace platform {

namespace {

constexpr std::string_view kKeys = "keys";

Value record(const KeychainKey& key) {
  return Value::dictionary(
      {{"applicationTag", key.applicationTag},
       {"keyType", "RSA"},
       {"keyClass", key.keyClass == KeychainKeyClass::Private ? "private" : "public"},
       {"data", key.data}});
}

KeychainKey key(const Value& record) {
  const Bytes* data = record["data"].dataIf();
  return {record["applicationTag"].stringOr(""),
          record["keyClass"].stringOr("") == "private" ? KeychainKeyClass::Private
                                                       : KeychainKeyClass::Public,
          data ? *data : Bytes()};
}

bool hasTag(const Value& record, std::string_view tag) {
  return record["applicationTag"].stringOr("") == tag;
}

}  // namespace

KeychainStatus Keychain::addKey(const KeychainKey& item) {
  return store_.modify(kKeys, [&](Value::Array& records) {
    records.push_back(record(item));
    return kKeychainSuccess;
  });
}

KeychainStatus Keychain::findKey(std::string_view applicationTag, KeychainKey* item) const {
  KeychainStatus status = kKeychainItemNotFound;
  store_.read(kKeys, [&](const Value::Array& records) {
    for (const Value& existing : records) {
      if (!hasTag(existing, applicationTag)) continue;
      if (item) *item = key(existing);
      status = kKeychainSuccess;
      return;
    }
  });
  return status;
}

KeychainStatus Keychain::deleteKeys(std::string_view applicationTag) {
  return store_.modify(kKeys, [&](Value::Array& records) {
    size_t before = records.size();
    std::erase_if(records, [&](const Value& existing) { return hasTag(existing, applicationTag); });
    return records.size() < before ? kKeychainSuccess : kKeychainItemNotFound;
  });
}

}  // namespace platform
