#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Plugins/vokaru-plugin-push/push_registration_options.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "instance_id/iid_logger.h"
#include "messaging/service/zcm_receiver.h"
#include "platform/foundation/error.h"
#include "platform/ui/remote_notifications.h"

// The page's push notifications (service "PushNotification"). `init` registers with the
// platform; the registration id reaches the page through the kept `init` callback (the device
// token as hexadecimal text, or with a sender id a token of the identity service, whose topics
// the messaging service then subscribes), followed by every notification. `unregister`, the badge
// actions, `hasPermission` and `finish` (which completes a background handler stored with a
// notification) serve the rest. The application-delegate hooks (app_delegate_notification.h)
// hand it what the platform delivers. Nothing is persisted. Main thread only, but for the answers
// `finish` sends from the global queue.
class PushPlugin : public VKRPlugin,
                   public VIZInstanceIDDelegate,
                   public ZCMReceiverDelegate,
                   public std::enable_shared_from_this<PushPlugin> {
 public:
  // The service name the hooks find the plugin under.
  static constexpr const char* kServiceName = "PushNotification";
  // Completes a background fetch or action the platform handed over with a notification.
  using BackgroundHandler = std::function<void(platform::ui::BackgroundFetchResult)>;
  // How long `finish` waits before it completes the handler.
  static constexpr double kFinishDelaySeconds = 0.1;

  explicit PushPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  // The notification waiting to reach the page; delivered by notificationReceived().
  const std::optional<platform::Dictionary>& notificationMessage() const {
    return notificationMessage_;
  }
  void setNotificationMessage(std::optional<platform::Dictionary> message) {
    notificationMessage_ = std::move(message);
  }
  // The waiting notification arrived while the app was active (the page's "foreground").
  bool isInline() const { return isInline_; }
  void setIsInline(bool isInline) { isInline_ = isInline; }
  // Reported to the page as "coldstart"; set when a launch notification is handed over.
  bool coldstart() const { return coldstart_; }
  void setColdstart(bool coldstart) { coldstart_ = coldstart; }
  // Clear the badge each time the app becomes active.
  bool clearBadge() const { return clearBadge_; }
  const std::optional<std::string>& callbackId() const { return callbackId_; }
  // Keeps a background handler until the page's `finish` names its key (a notification's "notId",
  // or "handler"); replaces one stored under the same key.
  void storeHandler(const platform::Value& key, BackgroundHandler handler);
  size_t storedHandlerCount() const { return handlerObj_.size(); }

  // Sends the waiting notification to the `init` callback (keeping it) and forgets it; without
  // one, or before `init`, nothing happens and the notification keeps waiting.
  void notificationReceived();

  // The platform's answers to the registration.
  void didRegisterForRemoteNotificationsWithDeviceToken(const platform::Bytes& deviceToken);
  void didFailToRegisterForRemoteNotificationsWithError(const platform::Error& error);

  // VIZInstanceIDDelegate: asks for a token again.
  void onTokenRefresh() override;
  // ZCMReceiverDelegate: console lines only.
  void willSendDataMessageWithID(const std::string& messageID,
                                 const std::optional<platform::Error>& error) override;
  void didSendDataMessageWithID(const std::string& messageID) override;
  void didDeleteMessagesOnServer() override;

  // Completes the handler stored under the key (once: it is then forgotten).
  void stopBackgroundTask(const platform::Value& key);

 private:
  // Page actions.
  void init(const VKRInvokedUrlCommand& command);
  void unregister(const VKRInvokedUrlCommand& command);
  void setApplicationIconBadgeNumber(const VKRInvokedUrlCommand& command);
  void getApplicationIconBadgeNumber(const VKRInvokedUrlCommand& command);
  void hasPermission(const VKRInvokedUrlCommand& command);
  void finish(const VKRInvokedUrlCommand& command);

  // The answer to every token request, initial and refreshed.
  void zcmRegistrationAnswered(const std::optional<std::string>& token,
                               const std::optional<platform::Error>& error);
  void requestZCMToken();
  void subscribeToTopics();
  void registerWithToken(const std::string& token);
  void successWithMessage(const std::string& message);
  void failWithMessage(const std::string& message, const std::optional<platform::Error>& error);
  void send(const VKRPluginResult& result, const std::optional<std::string>& callbackId);

  std::optional<platform::Dictionary> notificationMessage_;
  bool isInline_ = false;
  bool clearBadge_ = false;
  std::vector<std::pair<platform::Value, BackgroundHandler>> handlerObj_;
  bool coldstart_ = false;
  bool usesZCM_ = false;
  // The identity client and the messaging service are started once, at the first token answer.
  bool zcmServicesStarted_ = false;
  std::optional<std::string> callbackId_;
  bool zcmSandbox_ = false;
  std::string zcmSenderId_;
  platform::Dictionary zcmRegistrationOptions_;
  std::optional<std::string> zcmRegistrationToken_;
  std::vector<std::string> zcmTopics_;
};
