#include "Plugins/vokaru-plugin-push/app_delegate_notification.h"

#include "Plugins/vokaru-plugin-push/push_plugin.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/class_registry.h"
#include "platform/foundation/log.h"
#include "platform/foundation/while_alive.h"

using platform::ui::Application;
using platform::ui::BackgroundFetchResult;

PLATFORM_LOAD_HOOK("PushPlugin",
                   [] { Application::addDelegateHook(&AppDelegateNotification::install); });

namespace {

// A silent push: "content-available" of "aps" is 1, as a number or a text.
bool isSilent(const platform::Dictionary& payload) {
  const platform::Value* aps = payload.find("aps");
  if (!aps) return false;
  const platform::Value& available = (*aps)["content-available"];
  if (const std::string* text = available.stringIf()) return *text == "1";
  return available.isNumber() && available.intOr(0) == 1;
}

// Calls the platform's handler in a later turn of the main queue, from whichever thread.
template <typename... Args>
std::function<void(Args...)> onMainQueue(std::function<void(Args...)> handler) {
  return [handler](Args... args) { platform::mainQueue()->async([=] { handler(args...); }); };
}

}  // namespace

void AppDelegateNotification::install(
    const std::shared_ptr<platform::ui::ApplicationDelegate>& delegate) {
  auto appDelegate = std::dynamic_pointer_cast<VKRAppDelegate>(delegate);
  if (!appDelegate || appDelegate->adopted<AppDelegateNotification>()) return;
  auto hooks = std::make_shared<AppDelegateNotification>(appDelegate);
  auto& center = platform::NotificationCenter::defaultCenter();
  // The delegate owns the extension, and the extension its observations.
  hooks->observations_.push_back(center.addObserver(
      platform::ui::kApplicationDidFinishLaunchingNotification, nullptr,
      platform::whileAlive(std::weak_ptr(hooks),
                           &AppDelegateNotification::createNotificationChecker)));
  hooks->observations_.push_back(center.addObserver(
      platform::ui::kApplicationDidBecomeActiveNotification, nullptr,
      platform::whileAlive(std::weak_ptr(hooks),
                           &AppDelegateNotification::pushPluginOnApplicationDidBecomeActive)));
  appDelegate->addExtension(std::move(hooks));
}

AppDelegateNotification::AppDelegateNotification(std::weak_ptr<VKRAppDelegate> delegate)
    : delegate_(std::move(delegate)) {}

std::shared_ptr<PushPlugin> AppDelegateNotification::getCommandInstance(
    std::string_view serviceName) const {
  std::shared_ptr<VKRAppDelegate> delegate = delegate_.lock();
  std::shared_ptr<VKRViewController> controller = delegate ? delegate->viewController() : nullptr;
  if (!controller) return nullptr;
  return std::dynamic_pointer_cast<PushPlugin>(controller->getCommandInstance(serviceName));
}

void AppDelegateNotification::createNotificationChecker(
    const platform::Notification& notification) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("createNotificationChecker");
  const platform::Dictionary* options = notification.userInfo.dictionaryIf();
  if (!options) {
    platform::log("not coldstart");
    coldstart_ = false;
    return;
  }
  platform::log("coldstart");
  const platform::Value* launched =
      options->find(platform::ui::kApplicationLaunchOptionsRemoteNotificationKey);
  launchNotification_ = launched && launched->dictionaryIf()
                            ? std::optional(*launched->dictionaryIf())
                            : std::nullopt;
  coldstart_ = true;
}

void AppDelegateNotification::pushPluginOnApplicationDidBecomeActive(
    const platform::Notification&) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("active");
  std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName);
  if (plugin && plugin->clearBadge()) {
    platform::log("PushPlugin clearing badge");
    Application::shared().setApplicationIconBadgeNumber(0);
  } else {
    platform::log("PushPlugin skip clear badge");
  }
  if (!launchNotification_ || !plugin) return;
  plugin->setIsInline(false);
  plugin->setColdstart(coldstart_);
  plugin->setNotificationMessage(std::move(launchNotification_));
  launchNotification_.reset();
  platform::mainQueue()->async(
      platform::whileAlive(std::weak_ptr(plugin), &PushPlugin::notificationReceived));
}

void AppDelegateNotification::didRegisterForRemoteNotificationsWithDeviceToken(
    Application&, const platform::Bytes& token) {
  if (std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName)) {
    plugin->didRegisterForRemoteNotificationsWithDeviceToken(token);
  }
}

void AppDelegateNotification::didFailToRegisterForRemoteNotificationsWithError(
    Application&, const platform::Error& error) {
  if (std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName)) {
    plugin->didFailToRegisterForRemoteNotificationsWithError(error);
  }
}

void AppDelegateNotification::storeHandler(PushPlugin& plugin, const platform::Dictionary& payload,
                                           std::function<void(BackgroundFetchResult)> handler) {
  const platform::Value* notId = payload.find("notId");
  if (notId) {
    platform::logf("Push Plugin notId %s", platform::describe(*notId).c_str());
  } else {
    platform::log("Push Plugin notId handler");
  }
  plugin.storeHandler(notId ? *notId : platform::Value("handler"), std::move(handler));
}

void AppDelegateNotification::didReceiveRemoteNotification(
    Application& application, const platform::Dictionary& userInfo,
    platform::ui::FetchCompletionHandler completionHandler) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("didReceiveNotification with fetchCompletionHandler");
  if (application.applicationState() == platform::ui::ApplicationState::Active) {
    platform::log("app active");
    if (std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName)) {
      plugin->setNotificationMessage(userInfo);
      plugin->setIsInline(true);
      plugin->notificationReceived();
    }
    completionHandler(BackgroundFetchResult::NewData);
    return;
  }
  platform::log("app in-active");
  if (!isSilent(userInfo)) {
    platform::log("just put it in the shade");
    launchNotification_ = userInfo;
    completionHandler(BackgroundFetchResult::NewData);
    return;
  }
  platform::log("this should be a silent push");
  std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName);
  if (!plugin) {
    // Nobody can finish it: the platform hears at once that nothing came of it.
    completionHandler(BackgroundFetchResult::NoData);
    return;
  }
  storeHandler(*plugin, userInfo, onMainQueue(std::move(completionHandler)));
  plugin->setNotificationMessage(userInfo);
  plugin->setIsInline(false);
  plugin->notificationReceived();
}

void AppDelegateNotification::handleActionWithIdentifier(Application& application,
                                                         const std::string& identifier,
                                                         const platform::Dictionary& userInfo,
                                                         std::function<void()> completionHandler) {
  VKR_ASSERT_MAIN_THREAD();
  platform::logf("Push Plugin handleActionWithIdentifier %s", identifier.c_str());
  platform::Dictionary payload = userInfo;
  payload.set("callback", platform::Value(identifier));
  platform::logf("Push Plugin userInfo %s", platform::describe(platform::Value(payload)).c_str());
  std::shared_ptr<PushPlugin> plugin = getCommandInstance(PushPlugin::kServiceName);
  if (!plugin) {
    completionHandler();
    return;
  }
  if (application.applicationState() == platform::ui::ApplicationState::Active) {
    plugin->setNotificationMessage(std::move(payload));
    plugin->setIsInline(false);
    plugin->notificationReceived();
    completionHandler();
    return;
  }
  std::function<void()> onMain = onMainQueue(std::move(completionHandler));
  storeHandler(*plugin, userInfo, [onMain](BackgroundFetchResult) { onMain(); });
  plugin->setNotificationMessage(std::move(payload));
  plugin->setIsInline(false);
  platform::mainQueue()->async(
      platform::whileAlive(std::weak_ptr(plugin), &PushPlugin::notificationReceived));
}

bool AppDelegateNotification::userHasRemoteNotificationsEnabled() const {
  return Application::shared().currentUserNotificationSettings().types !=
         platform::ui::kUserNotificationTypeNone;
}
