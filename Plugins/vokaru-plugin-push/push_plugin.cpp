// The registration side of the push plugin: `init`, the two token paths, `unregister` and the
// results they send.
#include "Plugins/vokaru-plugin-push/push_plugin.h"

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "instance_id/instance_id.h"
#include "messaging/base/zcm_error.h"
#include "messaging/service/zcm_config.h"
#include "messaging/service/zcm_pubsub.h"
#include "messaging/service/zcm_service.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/foundation/while_alive.h"
#include "platform/ui/application.h"

VKR_REGISTER_PLUGIN(PushPlugin);

namespace {

constexpr const char* kZCMScope = "ZCM";

std::string topicPath(const std::string& topic) { return "/topics/" + topic; }

}  // namespace

PushPlugin::PushPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("init", &PushPlugin::init);
  addAction("unregister", &PushPlugin::unregister);
  addAction("setApplicationIconBadgeNumber", &PushPlugin::setApplicationIconBadgeNumber);
  addAction("getApplicationIconBadgeNumber", &PushPlugin::getApplicationIconBadgeNumber);
  addAction("hasPermission", &PushPlugin::hasPermission);
  addAction("finish", &PushPlugin::finish);
}

// Everything here touches the application object and fields the platform's answers read, so it
// runs on the main thread, where actions run; the platform answers in a later turn, after the
// fields are set.
void PushPlugin::init(const VKRInvokedUrlCommand& command) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("Push Plugin register called");
  callbackId_ = command.callbackId();
  const PushRegistrationOptions options =
      PushRegistrationOptions::fromIOSOptions(command.argumentAtIndex(0)["ios"]);
  zcmTopics_ = options.topics;

  platform::ui::Application& application = platform::ui::Application::shared();
  clearBadge_ = options.clearBadge;
  if (clearBadge_) {
    platform::log("PushPlugin.register: setting badge to true");
    application.setApplicationIconBadgeNumber(0);
  } else {
    platform::log("PushPlugin.register: setting badge to false");
  }
  platform::logf("PushPlugin.register: clear badge is set to %d", clearBadge_ ? 1 : 0);
  isInline_ = false;

  // The badge is always asked for, whatever the options say.
  application.registerUserNotificationSettings(
      {options.types | platform::ui::kUserNotificationTypeBadge, options.categories});
  application.registerForRemoteNotifications();

  zcmSenderId_ = options.senderID;
  platform::logf("ZCM Sender ID %s", zcmSenderId_.c_str());
  usesZCM_ = !zcmSenderId_.empty();
  platform::log(usesZCM_ ? "Using ZCM Notification" : "Using APNS Notification");
  zcmSandbox_ = options.sandbox;
  if (zcmSandbox_) platform::log("Using ZCM Sandbox");

  if (notificationMessage_) notificationReceived();
}

void PushPlugin::didRegisterForRemoteNotificationsWithDeviceToken(
    const platform::Bytes& deviceToken) {
  VKR_ASSERT_MAIN_THREAD();
  const std::string hexToken = platform::hexString(deviceToken);
  if (!callbackId_) {
    platform::logf(
        "Unexpected call to didRegisterForRemoteNotificationsWithDeviceToken, "
        "ignoring: %s",
        hexToken.c_str());
    return;
  }
  platform::logf("Push Plugin register success: %s", hexToken.c_str());
  if (!usesZCM_) {
    registerWithToken(hexToken);
    return;
  }
  // The platform may answer more than once: the services start at the first answer only, and
  // every answer asks for a token.
  const bool starting = !zcmServicesStarted_;
  zcmServicesStarted_ = true;
  if (starting) {
    VIZInstanceIDConfig config = VIZInstanceIDConfig::defaultConfig();
    config.setDelegate(weak_from_this());
    VIZInstanceID::sharedInstance()->startWithConfig(config);
  }
  zcmRegistrationOptions_ = platform::Dictionary{{"apns_token", platform::Value(deviceToken)},
                                                 {"apns_sandbox", platform::Value(zcmSandbox_)}};
  requestZCMToken();
  if (starting) {
    // The delegate hooks take downstream messages with a completion handler only.
    ZCMConfig config = ZCMConfig::defaultConfig();
    config.setReceiverDelegate(weak_from_this());
    config.setUseNewRemoteNotificationCallback(true);
    ZCMService::sharedInstance().startWithConfig(config);
  }
}

void PushPlugin::didFailToRegisterForRemoteNotificationsWithError(const platform::Error& error) {
  VKR_ASSERT_MAIN_THREAD();
  if (!callbackId_) {
    platform::logf(
        "Unexpected call to didFailToRegisterForRemoteNotificationsWithError, "
        "ignoring: %s",
        error.description().c_str());
    return;
  }
  platform::log("Push Plugin register failed");
  failWithMessage("", error);
}

void PushPlugin::onTokenRefresh() {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("The ZCM registration token needs to be changed.");
  requestZCMToken();
}

void PushPlugin::requestZCMToken() {
  VIZInstanceID::sharedInstance()->tokenWithAuthorizedEntity(
      zcmSenderId_, kZCMScope, zcmRegistrationOptions_,
      platform::whileAlive(weak_from_this(), &PushPlugin::zcmRegistrationAnswered));
}

void PushPlugin::zcmRegistrationAnswered(const std::optional<std::string>& token,
                                         const std::optional<platform::Error>& error) {
  VKR_ASSERT_MAIN_THREAD();
  if (!token) {
    platform::logf("Registration to ZCM failed with error: %s",
                   error ? error->localizedDescription().c_str() : "");
    failWithMessage("", error);
    return;
  }
  platform::logf("ZCM Registration Token: %s", token->c_str());
  zcmRegistrationToken_ = token;
  subscribeToTopics();
  registerWithToken(*token);
}

void PushPlugin::subscribeToTopics() {
  for (const std::string& topic : zcmTopics_) {
    platform::logf("subscribe from topic: %s", topic.c_str());
    ZCMPubSub::sharedInstance().subscribeWithToken(
        zcmRegistrationToken_.value_or(""), topicPath(topic), {},
        [topic](const std::optional<platform::Error>& error) {
          if (!error) {
            platform::logf("Successfully subscribe to topic %s", topic.c_str());
          } else if (error->code() == kZCMErrorCodeAlreadySubscribed) {
            platform::logf("Already subscribed to %s", topic.c_str());
          } else {
            platform::logf("Failed to subscribe to topic %s: %s", topic.c_str(),
                           error->description().c_str());
          }
        });
  }
}

void PushPlugin::unregister(const VKRInvokedUrlCommand& command) {
  VKR_ASSERT_MAIN_THREAD();
  callbackId_ = command.callbackId();
  const platform::Value& topics = command.argumentAtIndex(0);
  if (topics.isNull()) {
    platform::ui::Application::shared().unregisterForRemoteNotifications();
    successWithMessage("unregistered");
    return;
  }
  // Something other than a list would otherwise unregister the app altogether.
  if (!topics.isArray()) {
    failWithMessage("unregister takes a list of topic names", std::nullopt);
    return;
  }
  for (const std::string& topic : pushTopicNames(topics)) {
    platform::logf("unsubscribe from topic: %s", topic.c_str());
    ZCMPubSub::sharedInstance().unsubscribeWithToken(
        zcmRegistrationToken_.value_or(""), topicPath(topic), {},
        [topic](const std::optional<platform::Error>& error) {
          if (error) {
            platform::logf("Failed to unsubscribe from topic %s: %s", topic.c_str(),
                           error->description().c_str());
          } else {
            platform::logf("Successfully unsubscribe from topic %s", topic.c_str());
          }
        });
  }
}

void PushPlugin::willSendDataMessageWithID(const std::string& messageID,
                                           const std::optional<platform::Error>& error) {
  platform::logf("Push Plugin will send data message %s%s%s", messageID.c_str(), error ? ": " : "",
                 error ? error->description().c_str() : "");
}

void PushPlugin::didSendDataMessageWithID(const std::string& messageID) {
  platform::logf("Push Plugin sent data message %s", messageID.c_str());
}

void PushPlugin::didDeleteMessagesOnServer() {
  platform::log("Push Plugin: the server deleted messages");
}

void PushPlugin::registerWithToken(const std::string& token) {
  VKRPluginResult result = VKRPluginResult::resultWithStatus(
      kVKRCommandStatusOK, platform::Dictionary{{"registrationId", platform::Value(token)}});
  result.setKeepCallback(true);
  send(result, callbackId_);
}

void PushPlugin::successWithMessage(const std::string& message) {
  if (!callbackId_) return;
  send(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, message), callbackId_);
}

void PushPlugin::failWithMessage(const std::string& message,
                                 const std::optional<platform::Error>& error) {
  const std::string text = error ? message + " - " + error->localizedDescription() : message;
  send(VKRPluginResult::resultWithStatus(kVKRCommandStatusError, text), callbackId_);
}

void PushPlugin::send(const VKRPluginResult& result, const std::optional<std::string>& callbackId) {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(result, callbackId);
  }
}
