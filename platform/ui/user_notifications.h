#pragma once
// Registering for remote notifications on the desktop, which has no platform push service.
// Registering answers a device token made once per installation (random bytes kept in the
// keychain, which outlives the app home); the application keeps the notification settings the
// app registered, granted as asked; notifications reach the app through the messaging service, or
// a test's injection (Application::receiveRemoteNotification).
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/ui/remote_notifications.h"

namespace platform::ui {

// The kinds of notification an app asks to show; bits of UserNotificationSettings::types.
enum UserNotificationType : unsigned {
  kUserNotificationTypeNone = 0,
  kUserNotificationTypeBadge = 1,
  kUserNotificationTypeSound = 2,
  kUserNotificationTypeAlert = 4,
};

enum class UserNotificationActivationMode { Foreground = 0, Background = 1 };
// Where a category's actions show: the full list, or the short one where space is tight.
enum class UserNotificationActionContext { Default = 0, Minimal = 1 };

// A button of a notification; its identifier comes back with the notification when chosen.
struct UserNotificationAction {
  std::string identifier;
  std::string title;
  UserNotificationActivationMode activationMode = UserNotificationActivationMode::Background;
  bool destructive = false;
  bool authenticationRequired = false;
  bool operator==(const UserNotificationAction&) const = default;
};

struct UserNotificationCategory {
  std::string identifier;
  std::vector<UserNotificationAction> defaultActions;
  std::vector<UserNotificationAction> minimalActions;

  void setActions(std::vector<UserNotificationAction> actions,
                  UserNotificationActionContext context);
  const std::vector<UserNotificationAction>& actionsForContext(
      UserNotificationActionContext context) const;
  bool operator==(const UserNotificationCategory&) const = default;
};

struct UserNotificationSettings {
  unsigned types = kUserNotificationTypeNone;
  std::vector<UserNotificationCategory> categories;
  bool operator==(const UserNotificationSettings&) const = default;
};

// The launch options' key for the notification that launched the app.
inline constexpr const char* kApplicationLaunchOptionsRemoteNotificationKey =
    "UIApplicationLaunchOptionsRemoteNotificationKey";

inline constexpr const char* kRemoteNotificationErrorDomain = "VokaruRemoteNotificationErrorDomain";
inline constexpr size_t kRemoteNotificationDeviceTokenLength = 32;

// The app delegate's optional operations for the answer to registerForRemoteNotifications().
// Main thread.
class RemoteNotificationRegistrationDelegate {
 public:
  virtual ~RemoteNotificationRegistrationDelegate() = default;
  virtual void didRegisterForRemoteNotificationsWithDeviceToken(Application& application,
                                                                const Bytes& deviceToken) = 0;
  virtual void didFailToRegisterForRemoteNotificationsWithError(Application& application,
                                                                const Error& error) = 0;
};

// The app delegate's optional operation for an action the user chose on a notification; the
// handler must be called once, when the app is done with it. Main thread.
class RemoteNotificationActionDelegate {
 public:
  virtual ~RemoteNotificationActionDelegate() = default;
  virtual void handleActionWithIdentifier(Application& application, const std::string& identifier,
                                          const Dictionary& userInfo,
                                          std::function<void()> completionHandler) = 0;
};

// The installation's device token: the same bytes for every registration, made at the first and
// kept in the keychain. An error when the keychain can't keep it. Any thread.
Result<Bytes> remoteNotificationDeviceToken();

}  // namespace platform::ui
