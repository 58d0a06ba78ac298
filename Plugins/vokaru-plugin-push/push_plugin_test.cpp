// The push plugin with what it adds to the app delegate, against the application object: the
// device-token path, notifications on each road, the badge, the permission and `finish`.
#include "Plugins/vokaru-plugin-push/push_plugin.h"

#include <gtest/gtest.h>

#include "Plugins/vokaru-plugin-push/app_delegate_notification.h"
#include "VokaruLib/testing/recording_command_delegate.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/json.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/application.h"

namespace {

using platform::Dictionary;
using platform::Value;
using platform::ui::Application;
using platform::ui::ApplicationState;
using platform::ui::BackgroundFetchResult;
using vokaru::testing::RecordingCommandDelegate;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget><feature name="PushNotification"><param name="ios-package" value="PushPlugin" />
</feature></widget>)";

Dictionary payload(const std::string& json) {
  platform::Result<Value> parsed = platform::parseJSON(json);
  EXPECT_TRUE(parsed.ok() && parsed->isDictionary()) << json;
  return parsed.ok() && parsed->dictionaryIf() ? *parsed->dictionaryIf() : Dictionary();
}

class PushPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::resetShared();
    std::shared_ptr<VKRPlugin> found = host_.controller->getCommandInstance("PushNotification");
    plugin_ = std::dynamic_pointer_cast<PushPlugin>(found);
    ASSERT_NE(plugin_, nullptr);
    plugin_->setCommandDelegate(page_);
    appDelegate_->setViewController(host_.controller);
    AppDelegateNotification::install(appDelegate_);
    hooks_ = appDelegate_->adopted<AppDelegateNotification>();
    ASSERT_NE(hooks_, nullptr);
    application().setDelegate(appDelegate_);
  }
  void TearDown() override {
    application().setDelegate(nullptr);
    Application::resetShared();
  }

  static Application& application() { return Application::shared(); }
  // What the application posts once launched (its delegate's own launching is not under test).
  static void finishLaunching(const Value& options) {
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationDidFinishLaunchingNotification, &application(), options);
  }

  void perform(const std::string& action, Value::Array arguments, const std::string& callbackId) {
    plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), callbackId, "PushNotification", action));
  }
  void init(const std::string& ios = "{}") {
    perform("init", {Value(Dictionary{{"ios", Value(payload(ios))}})}, "Push1");
  }
  // The answers so far, as "<callback id> <status> <message JSON> keep|once".
  std::vector<std::string> answers() {
    platform::testing::drainMainLoop();
    std::vector<std::string> lines;
    for (const auto& sent : page_->sent()) {
      lines.push_back(sent.callbackId.value_or("-") + " " + std::to_string(sent.result.status()) +
                      " " + sent.result.argumentsAsJSON() +
                      (sent.result.keepCallback() ? " keep" : " once"));
    }
    return lines;
  }
  bool waitForAnswers(size_t count) { return page_->waitForResults(count); }
  static std::string tokenAnswer() {
    platform::Result<platform::Bytes> token = platform::ui::remoteNotificationDeviceToken();
    return "Push1 1 {\"registrationId\":\"" + platform::hexString(*token) + "\"} keep";
  }

  vokaru::testing::TestController host_{kConfig};
  std::shared_ptr<RecordingCommandDelegate> page_ = std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRAppDelegate> appDelegate_ = std::make_shared<VKRAppDelegate>();
  std::shared_ptr<PushPlugin> plugin_;
  AppDelegateNotification* hooks_ = nullptr;
};

TEST_F(PushPluginTest, WithoutASenderIDThePageGetsTheDeviceTokenInHex) {
  // A token answer before `init` is ignored.
  plugin_->didRegisterForRemoteNotificationsWithDeviceToken({1, 2});
  EXPECT_TRUE(answers().empty());

  init(R"({"sound": true})");
  EXPECT_EQ(application().currentUserNotificationSettings().types, 3u);  // badge always asked
  ASSERT_TRUE(waitForAnswers(1));
  EXPECT_EQ(answers(), std::vector<std::string>{tokenAnswer()});
  // The text is the bytes in lower-case hex, two digits each.
  plugin_->didRegisterForRemoteNotificationsWithDeviceToken({0x00, 0x0a, 0xff});
  EXPECT_EQ(answers().back(), "Push1 1 {\"registrationId\":\"000aff\"} keep");

  plugin_->didFailToRegisterForRemoteNotificationsWithError(
      platform::Error::withDescription("test", 3, "no service"));
  EXPECT_EQ(answers().back(), "Push1 9 \" - no service\" once");
}

TEST_F(PushPluginTest, UnregisterAnswersAndLeavesThePlatform) {
  init();
  ASSERT_TRUE(waitForAnswers(1));
  perform("unregister", {}, "Push2");
  EXPECT_FALSE(application().isRegisteredForRemoteNotifications());
  perform("unregister", {Value("news")}, "Push3");
  EXPECT_EQ(answers(), (std::vector<std::string>{tokenAnswer(), "Push2 1 \"unregistered\" once",
                                                 "Push3 9 \"unregister takes a list of topic "
                                                 "names\" once"}));
}

TEST_F(PushPluginTest, NotificationsReachTheInitCallbackOnEachRoad) {
  application().becomeActive();
  // Before `init` a notification waits; `init` delivers it (no longer as arrived in the
  // foreground).
  application().receiveRemoteNotification(payload(R"({"aps": {"alert": "early"}})"), nullptr);
  EXPECT_TRUE(answers().empty());
  init();
  ASSERT_TRUE(waitForAnswers(2));
  EXPECT_EQ(
      answers()[0],
      R"(Push1 1 {"message":"early","additionalData":{"foreground":false,"coldstart":false}} keep)");
  // Sent from the main thread, where `init` does its work.
  EXPECT_TRUE(page_->sent()[0].onMainThread);

  // In the foreground: at once, and the platform hears "new data".
  std::vector<BackgroundFetchResult> results;
  const auto record = [&](BackgroundFetchResult result) { results.push_back(result); };
  application().receiveRemoteNotification(payload(R"({"aps": {"alert": "one"}, "notId": 4})"),
                                          record);
  EXPECT_EQ(
      answers().back(),
      R"(Push1 1 {"message":"one","additionalData":{"notId":4,"foreground":true,"coldstart":false}} keep)");
  EXPECT_EQ(results, std::vector<BackgroundFetchResult>{BackgroundFetchResult::NewData});

  // In the background and not silent: it waits for the app to become active.
  application().enterBackground();
  application().receiveRemoteNotification(
      payload(R"({"aps": {"alert": "shade", "content-available": 0}})"), record);
  EXPECT_EQ(results.size(), 2u);
  const size_t before = answers().size();
  application().enterForeground();
  application().becomeActive();
  ASSERT_TRUE(waitForAnswers(before + 1));
  EXPECT_EQ(
      answers().back(),
      R"(Push1 1 {"message":"shade","additionalData":{"content-available":0,"foreground":false,"coldstart":false}} keep)");

  // An action chosen while active carries its identifier and is done at once.
  int actionsDone = 0;
  application().receiveRemoteNotificationAction(
      "accept", payload(R"({"aps": {"alert": "invite"}})"), [&] { ++actionsDone; });
  EXPECT_EQ(actionsDone, 1);
  EXPECT_EQ(
      answers().back(),
      R"(Push1 1 {"message":"invite","additionalData":{"callback":"accept","foreground":false,"coldstart":false}} keep)");
  EXPECT_EQ(results.size(), 2u);
}

TEST_F(PushPluginTest, FinishCompletesAStoredHandlerOnceAfterTheAnswer) {
  platform::ManualClock clock;
  init();
  ASSERT_TRUE(waitForAnswers(1));
  application().enterBackground();
  std::vector<BackgroundFetchResult> results;
  const auto record = [&](BackgroundFetchResult result) { results.push_back(result); };
  // Silent pushes are delivered at once, their handlers kept under "notId" or "handler".
  application().receiveRemoteNotification(
      payload(R"({"aps": {"content-available": "1"}, "notId": "n7"})"), record);
  application().receiveRemoteNotification(payload(R"({"aps": {"content-available": 1}})"), record);
  application().receiveRemoteNotificationAction("later", payload(R"({"aps": {}})"),
                                                [&] { results.push_back({}); });
  EXPECT_EQ(plugin_->storedHandlerCount(), 2u);  // the action's handler replaced the second
  ASSERT_TRUE(waitForAnswers(4));
  EXPECT_EQ(
      answers()[1],
      R"(Push1 1 {"additionalData":{"content-available":"1","notId":"n7","foreground":false,"coldstart":false}} keep)");
  EXPECT_TRUE(results.empty());

  perform("finish", {Value("n7")}, "Push2");
  ASSERT_TRUE(waitForAnswers(5));
  EXPECT_EQ(answers().back(), "Push2 1 null once");
  platform::testing::drainMainLoop();
  EXPECT_TRUE(results.empty());  // the page's answer comes first
  clock.advance(platform::seconds(PushPlugin::kFinishDelaySeconds));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return !results.empty(); }));
  EXPECT_EQ(results, std::vector<BackgroundFetchResult>{BackgroundFetchResult::NewData});

  // Again with the same key, and with a key nothing is stored under: only the answers.
  perform("finish", {Value("n7")}, "Push3");
  perform("finish", {Value("unknown")}, "Push4");
  ASSERT_TRUE(waitForAnswers(7));
  platform::testing::drainMainLoop();  // the timers are set on the main queue
  clock.advance(platform::seconds(1));
  platform::testing::drainMainLoop();
  EXPECT_EQ(results.size(), 1u);
  EXPECT_EQ(plugin_->storedHandlerCount(), 1u);

  // The action's handler, under "handler".
  perform("finish", {Value("handler")}, "Push5");
  ASSERT_TRUE(waitForAnswers(8));
  platform::testing::drainMainLoop();
  clock.advance(platform::seconds(PushPlugin::kFinishDelaySeconds));
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return results.size() == 2; }));
  EXPECT_EQ(plugin_->storedHandlerCount(), 0u);
}

TEST_F(PushPluginTest, BadgeAndPermission) {
  perform("hasPermission", {}, "Push1");
  perform("setApplicationIconBadgeNumber", {Value(Dictionary{{"badge", Value(5)}})}, "Push2");
  perform("getApplicationIconBadgeNumber", {}, "Push3");
  perform("setApplicationIconBadgeNumber", {Value(Dictionary{{"badge", Value("7")}})}, "Push4");
  perform("setApplicationIconBadgeNumber", {}, "Push5");
  perform("getApplicationIconBadgeNumber", {}, "Push6");
  EXPECT_EQ(answers(),
            (std::vector<std::string>{
                R"(Push1 1 {"isEnabled":false} once)", R"(Push2 1 "app badge count set to 5" once)",
                "Push3 1 5 once", R"(Push4 1 "app badge count set to 7" once)",
                R"(Push5 1 "app badge count set to 0" once)", "Push6 1 0 once"}));
  page_->clear();

  // "clearBadge" clears it at once and each time the app becomes active.
  application().setApplicationIconBadgeNumber(4);
  perform("init", {Value(Dictionary{{"ios", Value(payload(R"({"clearBadge": "true"})"))}})},
          "Push7");
  EXPECT_EQ(application().applicationIconBadgeNumber(), 0);
  application().setApplicationIconBadgeNumber(9);
  application().becomeActive();
  EXPECT_EQ(application().applicationIconBadgeNumber(), 0);
  perform("hasPermission", {}, "Push8");
  ASSERT_TRUE(waitForAnswers(2));
  EXPECT_EQ(answers()[0], R"(Push8 1 {"isEnabled":true} once)");
}

TEST_F(PushPluginTest, ALaunchByANotificationDeliversItAsAColdStart) {
  const Dictionary launched = payload(R"({"aps": {"alert": "from launch"}})");
  finishLaunching(Value(
      Dictionary{{platform::ui::kApplicationLaunchOptionsRemoteNotificationKey, Value(launched)}}));
  EXPECT_TRUE(hooks_->coldstart());
  application().becomeActive();
  platform::testing::drainMainLoop();
  EXPECT_TRUE(answers().empty());  // waits for `init`
  init();
  ASSERT_TRUE(waitForAnswers(2));
  EXPECT_EQ(
      answers()[0],
      R"(Push1 1 {"message":"from launch","additionalData":{"foreground":false,"coldstart":true}} keep)");
  // Later notifications carry the cold start too.
  application().receiveRemoteNotification(payload(R"({"aps": {"alert": "later"}})"), nullptr);
  EXPECT_EQ(
      answers().back(),
      R"(Push1 1 {"message":"later","additionalData":{"foreground":true,"coldstart":true}} keep)");
}

TEST_F(PushPluginTest, LaunchesWithoutANotification) {
  struct Case {
    Value options;
    bool coldstart;
  };
  const Case cases[] = {
      {Value(), false},
      {Value(Dictionary{{"UIApplicationLaunchOptionsURLKey", Value("x:y")}}), true}};
  for (const Case& c : cases) {
    finishLaunching(c.options);
    EXPECT_EQ(hooks_->coldstart(), c.coldstart);
    EXPECT_FALSE(hooks_->launchNotification().has_value());
  }
}

}  // namespace
