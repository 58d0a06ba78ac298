#include "platform/ui/user_notifications.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/storage/keychain.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace platform::ui {
namespace {

// Records what reaches the delegate's remote-notification operations, added to it as an
// extension.
class RecordingRemoteDelegate : public ApplicationDelegateExtension,
                                public RemoteNotificationRegistrationDelegate,
                                public RemoteNotificationFetchDelegate,
                                public RemoteNotificationActionDelegate {
 public:
  void didRegisterForRemoteNotificationsWithDeviceToken(Application&, const Bytes& token) override {
    tokens.push_back(token);
  }
  void didFailToRegisterForRemoteNotificationsWithError(Application&, const Error& error) override {
    errors.push_back(error);
  }
  void didReceiveRemoteNotification(Application&, const Dictionary& userInfo,
                                    std::function<void(BackgroundFetchResult)> handler) override {
    notifications.push_back(userInfo);
    handler(BackgroundFetchResult::NewData);
  }
  void handleActionWithIdentifier(Application&, const std::string& identifier, const Dictionary&,
                                  std::function<void()> handler) override {
    actions.push_back(identifier);
    handler();
  }
  std::vector<Bytes> tokens;
  std::vector<Error> errors;
  std::vector<Dictionary> notifications;
  std::vector<std::string> actions;
};

class RemoteNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::resetShared();
    delegate_->addExtension(remote_);
  }
  void TearDown() override { Application::resetShared(); }

  testing::TestApp app_;
  std::shared_ptr<ApplicationDelegate> delegate_ = std::make_shared<ApplicationDelegate>();
  std::shared_ptr<RecordingRemoteDelegate> remote_ = std::make_shared<RecordingRemoteDelegate>();
};

TEST_F(RemoteNotificationsTest, TheDeviceTokenIsMadeOnceAndOutlivesTheAppHome) {
  Application& application = Application::shared();
  application.setDelegate(delegate_);
  application.registerForRemoteNotifications();
  EXPECT_TRUE(remote_->tokens.empty());  // answered in a later turn
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return remote_->tokens.size() == 1; }));
  EXPECT_EQ(remote_->tokens[0].size(), kRemoteNotificationDeviceTokenLength);
  EXPECT_TRUE(application.isRegisteredForRemoteNotifications());

  // Again, and after the app's home is gone (a reinstall): the same bytes.
  application.registerForRemoteNotifications();
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return remote_->tokens.size() == 2; }));
  EXPECT_EQ(remote_->tokens[1], remote_->tokens[0]);
  std::filesystem::remove_all(app_.appHome());
  Result<Bytes> again = remoteNotificationDeviceToken();
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(*again, remote_->tokens[0]);
  EXPECT_TRUE(remote_->errors.empty());

  application.unregisterForRemoteNotifications();
  EXPECT_FALSE(application.isRegisteredForRemoteNotifications());
}

TEST_F(RemoteNotificationsTest, ADamagedTokenItemIsReplaced) {
  Keychain keychain(app_.keychainFolder());
  ASSERT_EQ(keychain.addPassword({.service = "org.vokaru.remote-notifications",
                                  .account = "device-token",
                                  .generic = "",
                                  .accessibility = KeychainAccessibility::WhenUnlocked,
                                  .data = Bytes{1, 2, 3}}),
            kKeychainSuccess);
  Result<Bytes> token = remoteNotificationDeviceToken();
  ASSERT_TRUE(token.ok());
  EXPECT_EQ(token->size(), kRemoteNotificationDeviceTokenLength);
  EXPECT_EQ(*remoteNotificationDeviceToken(), *token);
}

TEST_F(RemoteNotificationsTest, NotificationsGoToTheDelegatesOperationsOrAreAnsweredNoData) {
  Application& application = Application::shared();
  std::vector<BackgroundFetchResult> results;
  int actionsDone = 0;
  const Dictionary payload{{"aps", Value(Dictionary{{"alert", Value("hi")}})}};

  // Without a delegate, and with one that adopts none of the operations: nobody takes it.
  EXPECT_FALSE(application.receiveRemoteNotification(
      payload, [&](BackgroundFetchResult result) { results.push_back(result); }));
  application.setDelegate(std::make_shared<ApplicationDelegate>());
  EXPECT_FALSE(application.receiveRemoteNotificationAction("yes", payload, [&] { ++actionsDone; }));
  EXPECT_TRUE(results.empty());
  testing::drainMainLoop();
  EXPECT_EQ(results, std::vector<BackgroundFetchResult>{BackgroundFetchResult::NoData});
  EXPECT_EQ(actionsDone, 1);

  application.setDelegate(delegate_);
  EXPECT_TRUE(application.receiveRemoteNotification(
      payload, [&](BackgroundFetchResult result) { results.push_back(result); }));
  EXPECT_TRUE(application.receiveRemoteNotificationAction("yes", payload, [&] { ++actionsDone; }));
  ASSERT_EQ(remote_->notifications.size(), 1u);
  EXPECT_EQ(remote_->notifications[0], payload);
  EXPECT_EQ(remote_->actions, std::vector<std::string>{"yes"});
  EXPECT_EQ(results.back(), BackgroundFetchResult::NewData);
  EXPECT_EQ(actionsDone, 2);
}

TEST_F(RemoteNotificationsTest, DelegateHooksRunOnceForEachNewDelegate) {
  // The hook stays for the rest of the program, so it holds its record itself.
  auto hooked = std::make_shared<std::vector<ApplicationDelegate*>>();
  Application::addDelegateHook([hooked](const std::shared_ptr<ApplicationDelegate>& delegate) {
    hooked->push_back(delegate.get());
  });
  Application& application = Application::shared();
  application.setDelegate(delegate_);
  application.setDelegate(delegate_);
  application.setDelegate(nullptr);
  auto other = std::make_shared<ApplicationDelegate>();
  application.setDelegate(other);
  EXPECT_EQ(*hooked, (std::vector<ApplicationDelegate*>{delegate_.get(), other.get()}));
}

TEST_F(RemoteNotificationsTest, GrantedSettingsAreThoseRegistered) {
  Application& application = Application::shared();
  EXPECT_EQ(application.currentUserNotificationSettings().types, kUserNotificationTypeNone);
  UserNotificationCategory category;
  category.identifier = "invite";
  UserNotificationAction yes;
  yes.identifier = "yes";
  UserNotificationAction no;
  no.identifier = "no";
  category.setActions({yes, no}, UserNotificationActionContext::Default);
  category.setActions({yes}, UserNotificationActionContext::Minimal);
  application.registerUserNotificationSettings(
      {kUserNotificationTypeBadge | kUserNotificationTypeAlert, {category}});
  EXPECT_EQ(application.currentUserNotificationSettings().types, 5u);
  ASSERT_EQ(application.currentUserNotificationSettings().categories.size(), 1u);
  EXPECT_EQ(application.currentUserNotificationSettings()
                .categories[0]
                .actionsForContext(UserNotificationActionContext::Minimal)
                .size(),
            1u);
}

}  // namespace
}  // namespace platform::ui

namespace platform::ui {
namespace {

// A delegate whose own class takes only the plain form of the operation.
class PlainDelegate : public ApplicationDelegate, public RemoteNotificationDelegate {
 public:
  void didReceiveRemoteNotification(Application&, const Dictionary& userInfo) override {
    received.push_back(userInfo);
  }
  std::vector<Dictionary> received;
};

TEST_F(RemoteNotificationsTest, ADelegateWithThePlainFormOnlyGetsThatForm) {
  auto plain = std::make_shared<PlainDelegate>();
  Application& application = Application::shared();
  application.setDelegate(plain);
  std::vector<BackgroundFetchResult> results;
  EXPECT_TRUE(application.receiveRemoteNotification(
      Dictionary{{"k", Value("v")}},
      [&](BackgroundFetchResult result) { results.push_back(result); }));
  EXPECT_EQ(plain->received.size(), 1u);
  testing::drainMainLoop();
  EXPECT_EQ(results, std::vector<BackgroundFetchResult>{BackgroundFetchResult::NewData});
}

}  // namespace
}  // namespace platform::ui
