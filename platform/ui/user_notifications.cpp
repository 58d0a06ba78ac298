#include "platform/ui/user_notifications.h"

#include "platform/foundation/crypto.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/storage/keychain.h"

namespace platform::ui {

namespace {

constexpr const char* kDeviceTokenService = "org.vokaru.remote-notifications";
constexpr const char* kDeviceTokenAccount = "device-token";

// Two first registrations at once must not make two tokens.
Mutex& deviceTokenMutex() {
  static Mutex mutex;
  return mutex;
}

Error keychainError(KeychainStatus status) {
  return Error::withDescription(
      kRemoteNotificationErrorDomain, status,
      "The device token could not be kept in the keychain (status " + std::to_string(status) + ")");
}

}  // namespace

void UserNotificationCategory::setActions(std::vector<UserNotificationAction> actions,
                                          UserNotificationActionContext context) {
  (context == UserNotificationActionContext::Minimal ? minimalActions : defaultActions) =
      std::move(actions);
}

const std::vector<UserNotificationAction>& UserNotificationCategory::actionsForContext(
    UserNotificationActionContext context) const {
  return context == UserNotificationActionContext::Minimal ? minimalActions : defaultActions;
}

Result<Bytes> remoteNotificationDeviceToken() {
  MutexLock lock(deviceTokenMutex());
  std::shared_ptr<Keychain> keychain = Keychain::shared();
  const KeychainQuery query{kDeviceTokenService, kDeviceTokenAccount};
  KeychainPassword item;
  const KeychainStatus found = keychain->findPassword(query, &item);
  if (found == kKeychainSuccess && item.data.size() == kRemoteNotificationDeviceTokenLength) {
    return item.data;
  }
  Result<Bytes> token = randomBytes(kRemoteNotificationDeviceTokenLength);
  if (!token.ok()) return token.error();
  // A damaged item (of another length) is replaced.
  const KeychainStatus stored =
      found == kKeychainSuccess
          ? keychain->updatePasswords(query, KeychainPasswordUpdate{.data = *token})
          : keychain->addPassword(KeychainPassword{
                .service = kDeviceTokenService,
                .account = kDeviceTokenAccount,
                .generic = "",
                .accessibility = KeychainAccessibility::AfterFirstUnlockThisDeviceOnly,
                .data = *token});
  if (stored != kKeychainSuccess) return keychainError(stored);
  return token;
}

}  // namespace platform::ui
