#include "messaging/checkin/zcm_auth_keychain.h"

#include "messaging/base/zcm_error.h"

namespace {

bool fail(int64_t code, std::optional<platform::Error>* error) {
  if (error) *error = errorWithZcmErrorCode(code);
  return false;
}

}  // namespace

platform::KeychainQuery ZCMAuthKeychain::keychainQueryForService(const std::string& service,
                                                                 const std::string& account,
                                                                 const std::string& generic) {
  return {.service = service, .account = account, .generic = generic};
}

platform::KeychainQuery ZCMAuthKeychain::keychainQueryForService(const std::string& service,
                                                                 const std::string& account) const {
  return keychainQueryForService(service, account, generic_);
}

platform::KeychainAccessibility ZCMAuthKeychain::keychainItemAccessibility() {
  return platform::KeychainAccessibility::AfterFirstUnlockThisDeviceOnly;
}

platform::Result<std::optional<std::string>> ZCMAuthKeychain::passwordForService(
    const std::string& service, const std::string& account) const {
  if (service.empty() || account.empty()) {
    return errorWithZcmErrorCode(kZCMErrorCodeKeychainParameter);
  }
  platform::KeychainPassword item;
  const platform::KeychainStatus status =
      platform::Keychain::shared()->findPassword(keychainQueryForService(service, account), &item);
  if (status != platform::kKeychainSuccess) return errorWithZcmErrorCode(status);
  if (item.data.empty()) return std::optional<std::string>();
  return std::optional<std::string>(platform::stringOf(item.data));
}

bool ZCMAuthKeychain::removePasswordForService(const std::string& service,
                                               const std::string& account,
                                               std::optional<platform::Error>* error) {
  if (service.empty() || account.empty()) return fail(kZCMErrorCodeKeychainParameter, error);
  const platform::KeychainStatus status =
      platform::Keychain::shared()->deletePasswords(keychainQueryForService(service, account));
  if (status != platform::kKeychainSuccess) fail(status, error);
  return status == platform::kKeychainSuccess || status == platform::kKeychainItemNotFound;
}

bool ZCMAuthKeychain::setPassword(const std::string& password, const std::string& service,
                                  std::optional<platform::KeychainAccessibility> accessibility,
                                  const std::string& account,
                                  std::optional<platform::Error>* error) {
  if (service.empty() || account.empty() || password.empty()) {
    return fail(kZCMErrorCodeKeychainParameter, error);
  }
  removePasswordForService(service, account);
  const platform::KeychainStatus status = platform::Keychain::shared()->addPassword(
      {service, account, generic_, accessibility.value_or(keychainItemAccessibility()),
       platform::bytesOf(password)});
  if (status != platform::kKeychainSuccess) return fail(status, error);
  return true;
}
