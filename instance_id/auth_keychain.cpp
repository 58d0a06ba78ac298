#include "instance_id/auth_keychain.h"

#include "instance_id/iid_utilities.h"

namespace {

bool isSet(const std::string& value) {
  return !value.empty() && value != VIZInstanceIDAuthKeychain::kWildcard;
}

bool fail(platform::KeychainStatus status, std::optional<platform::Error>* error) {
  if (error) *error = VIZInstanceIDError(status);
  return false;
}

}  // namespace

platform::KeychainQuery VIZInstanceIDAuthKeychain::keychainQueryForService(
    const std::string& service, const std::string& account, const std::string& generic) {
  platform::KeychainQuery query;
  if (isSet(generic)) query.generic = generic;
  if (isSet(account)) query.account = account;
  if (isSet(service)) query.service = service;
  return query;
}

platform::KeychainAccessibility VIZInstanceIDAuthKeychain::keychainItemAccessibility() {
  return platform::KeychainAccessibility::AfterFirstUnlockThisDeviceOnly;
}

platform::Result<std::optional<std::string>> VIZInstanceIDAuthKeychain::passwordForService(
    const std::string& service, const std::string& account) const {
  if (service.empty() || account.empty()) {
    return VIZInstanceIDError(kVIZInstanceIDErrorKeychainParameter);
  }
  platform::KeychainPassword item;
  platform::KeychainStatus status = platform::Keychain::shared()->findPassword(
      keychainQueryForService(service, account, generic_), &item);
  if (status != platform::kKeychainSuccess) return VIZInstanceIDError(status);
  if (item.data.empty()) return std::optional<std::string>();
  return std::optional<std::string>(platform::stringOf(item.data));
}

bool VIZInstanceIDAuthKeychain::removePasswordForService(const std::string& service,
                                                         const std::string& account,
                                                         std::optional<platform::Error>* error) {
  if (service.empty() || account.empty()) {
    return fail(kVIZInstanceIDErrorKeychainParameter, error);
  }
  platform::KeychainStatus status = platform::Keychain::shared()->deletePasswords(
      keychainQueryForService(service, account, generic_));
  if (status != platform::kKeychainSuccess) fail(status, error);
  return status == platform::kKeychainSuccess || status == platform::kKeychainItemNotFound;
}

bool VIZInstanceIDAuthKeychain::setPassword(
    const std::string& password, const std::string& service,
    std::optional<platform::KeychainAccessibility> accessibility, const std::string& account,
    std::optional<platform::Error>* error) {
  if (service.empty() || account.empty() || password.empty()) {
    return fail(kVIZInstanceIDErrorKeychainParameter, error);
  }
  platform::KeychainQuery query = keychainQueryForService(service, account, generic_);
  platform::KeychainStatus status = platform::Keychain::shared()->replacePasswords(
      query,
      {query.service.value_or(""), query.account.value_or(""), query.generic.value_or(""),
       accessibility.value_or(keychainItemAccessibility()), platform::bytesOf(password)},
      write_);
  if (status != platform::kKeychainSuccess) return fail(status, error);
  return true;
}

bool VIZInstanceIDAuthKeychain::removeAllItems(std::optional<platform::Error>* error) {
  return removePasswordForService(kWildcard, kWildcard, error);
}
