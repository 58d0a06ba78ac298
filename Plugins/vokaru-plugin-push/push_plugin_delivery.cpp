// The delivery side of the push plugin: notifications to the page, the badge actions, the
// permission query and `finish`.
#include "Plugins/vokaru-plugin-push/app_delegate_notification.h"
#include "Plugins/vokaru-plugin-push/push_notification_message.h"
#include "Plugins/vokaru-plugin-push/push_plugin.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/log.h"
#include "platform/foundation/text_number.h"
#include "platform/foundation/while_alive.h"
#include "platform/ui/application.h"

void PushPlugin::notificationReceived() {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("Notification received");
  if (!notificationMessage_ || !callbackId_) return;
  VKRPluginResult result = VKRPluginResult::resultWithStatus(
      kVKRCommandStatusOK, pushNotificationMessage(*notificationMessage_, isInline_, coldstart_));
  result.setKeepCallback(true);
  send(result, callbackId_);
  notificationMessage_.reset();
}

void PushPlugin::setApplicationIconBadgeNumber(const VKRInvokedUrlCommand& command) {
  VKR_ASSERT_MAIN_THREAD();
  const platform::Value& badge = command.argumentAtIndex(0)["badge"];
  const std::string* text = badge.stringIf();
  const int64_t number = text ? platform::integerValueOfText(*text) : badge.intOr(0);
  platform::ui::Application::shared().setApplicationIconBadgeNumber(number);
  send(VKRPluginResult::resultWithStatus(
           kVKRCommandStatusOK,
           platform::format("app badge count set to %lld", static_cast<long long>(number))),
       command.callbackId());
}

void PushPlugin::getApplicationIconBadgeNumber(const VKRInvokedUrlCommand& command) {
  VKR_ASSERT_MAIN_THREAD();
  send(VKRPluginResult::resultWithStatus(
           kVKRCommandStatusOK, platform::ui::Application::shared().applicationIconBadgeNumber()),
       command.callbackId());
}

void PushPlugin::hasPermission(const VKRInvokedUrlCommand& command) {
  VKR_ASSERT_MAIN_THREAD();
  std::shared_ptr<platform::ui::ApplicationDelegate> delegate = appDelegate();
  AppDelegateNotification* hooks =
      delegate ? delegate->adopted<AppDelegateNotification>() : nullptr;
  const bool isEnabled = hooks && hooks->userHasRemoteNotificationsEnabled();
  send(VKRPluginResult::resultWithStatus(
           kVKRCommandStatusOK, platform::Dictionary{{"isEnabled", platform::Value(isEnabled)}}),
       command.callbackId());
}

void PushPlugin::storeHandler(const platform::Value& key, BackgroundHandler handler) {
  VKR_ASSERT_MAIN_THREAD();
  for (auto& [storedKey, stored] : handlerObj_) {
    if (storedKey == key) {
      stored = std::move(handler);
      return;
    }
  }
  handlerObj_.emplace_back(key, std::move(handler));
}

// The page answers at once; the handler is completed a moment later, so that what the page still
// does for the notification runs before the platform may suspend the app.
void PushPlugin::finish(const VKRInvokedUrlCommand& command) {
  platform::log("Push Plugin finish called");
  const platform::Value key = command.argumentAtIndex(0);
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  delegate->runInBackground([weak = weak_from_this(), delegate = std::weak_ptr(delegate), key,
                             callbackId = command.callbackId()] {
    platform::mainQueue()->async([weak, key] {
      platform::dispatchAfter(platform::seconds(kFinishDelaySeconds), platform::mainQueue(),
                              [weak, key] {
                                if (std::shared_ptr<PushPlugin> self = weak.lock()) {
                                  self->stopBackgroundTask(key);
                                }
                              });
    });
    if (std::shared_ptr<VKRCommandDelegate> strong = delegate.lock()) {
      strong->sendPluginResult(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK), callbackId);
    }
  });
}

void PushPlugin::stopBackgroundTask(const platform::Value& key) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("Push Plugin stopBackgroundTask called");
  if (handlerObj_.empty()) return;
  platform::log("Push Plugin handlerObj");
  auto found = std::find_if(handlerObj_.begin(), handlerObj_.end(),
                            [&](const auto& entry) { return entry.first == key; });
  if (found == handlerObj_.end()) return;
  // Taken out before it runs: the platform's handler may be called once only, so a second
  // `finish` with the same key finds nothing.
  BackgroundHandler completionHandler = std::move(found->second);
  handlerObj_.erase(found);
  platform::logf("Push Plugin: stopBackgroundTask (remaining t: %f)",
                 platform::ui::Application::shared().backgroundTimeRemaining());
  if (completionHandler) completionHandler(platform::ui::BackgroundFetchResult::NewData);
}
