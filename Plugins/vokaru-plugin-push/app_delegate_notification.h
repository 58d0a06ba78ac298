#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_app_delegate.h"
#include "platform/dispatch/notification_center.h"
#include "platform/ui/application.h"
#include "platform/ui/remote_notifications.h"
#include "platform/ui/user_notifications.h"

class PushPlugin;

// What the push plugin adds to the app's delegate (a VKRAppDelegate), without a change to the
// delegate's class: a delegate hook, added at load time, attaches one to each such delegate when
// it becomes the application's. It takes the platform's remote-notification calls and hands them
// to the plugin (found by its service name through the delegate's view controller), remembers a
// notification that launched or woke the app until the app becomes active, clears the badge then
// when the page asked for it, and answers whether notifications are enabled. Main thread only.
class AppDelegateNotification : public platform::ui::ApplicationDelegateExtension,
                                public platform::ui::RemoteNotificationRegistrationDelegate,
                                public platform::ui::RemoteNotificationFetchDelegate,
                                public platform::ui::RemoteNotificationActionDelegate {
 public:
  // The delegate hook: attaches an instance to a VKRAppDelegate and observes the launch and
  // every return to the active state for it. Other delegates are left alone.
  static void install(const std::shared_ptr<platform::ui::ApplicationDelegate>& delegate);

  explicit AppDelegateNotification(std::weak_ptr<VKRAppDelegate> delegate);

  // The notification to hand to the page when the app next becomes active.
  const std::optional<platform::Dictionary>& launchNotification() const {
    return launchNotification_;
  }
  // Whether the app was launched with launch options; set once, when launching finishes.
  bool coldstart() const { return coldstart_; }

  // The plugin of the service, through the delegate's view controller; null without one.
  std::shared_ptr<PushPlugin> getCommandInstance(std::string_view serviceName) const;

  void createNotificationChecker(const platform::Notification& notification);
  void pushPluginOnApplicationDidBecomeActive(const platform::Notification& notification);

  void didRegisterForRemoteNotificationsWithDeviceToken(platform::ui::Application& application,
                                                        const platform::Bytes& token) override;
  void didFailToRegisterForRemoteNotificationsWithError(platform::ui::Application& application,
                                                        const platform::Error& error) override;
  void didReceiveRemoteNotification(
      platform::ui::Application& application, const platform::Dictionary& userInfo,
      platform::ui::FetchCompletionHandler completionHandler) override;
  void handleActionWithIdentifier(platform::ui::Application& application,
                                  const std::string& identifier,
                                  const platform::Dictionary& userInfo,
                                  std::function<void()> completionHandler) override;

  // Any kind of notification is enabled in the settings the app registered.
  bool userHasRemoteNotificationsEnabled() const;

 private:
  // Keeps the handler with the plugin until the page's `finish` names its key: the notification's
  // "notId", or "handler".
  static void storeHandler(PushPlugin& plugin, const platform::Dictionary& payload,
                           std::function<void(platform::ui::BackgroundFetchResult)> handler);

  std::weak_ptr<VKRAppDelegate> delegate_;
  std::optional<platform::Dictionary> launchNotification_;
  bool coldstart_ = false;
  std::vector<platform::NotificationCenter::Observation> observations_;
};
