// Push notifications end to end: a real page, launched by a notification, registers through the
// page-side module with and without a sender id (against local identity and messaging servers),
// subscribes and leaves topics, receives a data message the messaging server sends, sets and reads
// the badge, and finishes a silent push handed over in the background.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "VokaruLib/testing/page_host.h"
#include "instance_id/iid_utilities.h"
#include "instance_id/instance_id.h"
#include "instance_id/testing/identity_server.h"
#include "messaging/service/testing/zcm_service_test_kit.h"
#include "messaging/service/zcm_service.h"
#include "messaging/testing/zcm_test_server.h"
#include "platform/foundation/class_registry.h"
#include "platform/foundation/crypto.h"
#include "platform/reachability/fake_network_monitor.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/user_notifications.h"

namespace {

using instance_id_testing::IdentityServer;
using platform::Dictionary;
using platform::Value;
using platform::ui::Application;
using vokaru::testing::PageHost;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="PushNotification"><param name="ios-package" value="PushPlugin" /></feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-push/push.js"></script>
<script>
  var seen = [];
  function watch(push) {
    push.on('registration', function (data) { seen.push('registration ' + data.registrationId); });
    push.on('notification', function (data) { seen.push(data); });
    push.on('error', function (error) { seen.push('error ' + error.message); });
    return push;
  }
  function notifications() { return seen.filter(function (s) { return typeof s === 'object'; }); }
  var answers = [];
  function record(promise) {
    promise.then(function (value) { answers.push(String(JSON.stringify(value))); },
                 function (error) { answers.push('failed ' + error); });
    return 'asked';
  }
</script></head><body></body></html>)";

// The messaging server: logs the client in, then sends the data messages the test hands it.
class Downstream {
 public:
  ZCMTestServer::Script script() {
    return [this](ZCMTestServer::Session& session) {
      if (!session.acceptLogin()) return;
      std::unique_lock lock(mutex_);
      ++loggedIn_;
      while (true) {
        changed_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
        if (stopping_) return;
        const DudevDataMessageStanza message = pending_.front();
        pending_.pop_front();
        lock.unlock();
        session.send(message);
        lock.lock();
      }
    };
  }
  void send(DudevDataMessageStanza message) {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(message));
    changed_.notify_all();
  }
  int loggedIn() {
    std::lock_guard lock(mutex_);
    return loggedIn_;
  }
  void stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<DudevDataMessageStanza> pending_;
  int loggedIn_ = 0;
  bool stopping_ = false;
};

DudevDataMessageStanza dataMessage(const std::string& persistentId, const std::string& score) {
  return ZCMTestDataMessage("1234", "org.vokaru.push-page-test", persistentId,
                            {{"title", "Match"}, {"score", score}});
}

class PushPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    platform::runLoadHooks();  // the plugin's delegate hook
    network_ =
        std::make_unique<platform::ScopedFakeNetworkMonitor>(platform::kReachabilityFlagReachable);
    identity_ = std::make_unique<IdentityServer>();
    identity_->setCheckinTimeMillis(VIZInstanceIDCurrentTimestampInMilliseconds());
    downstream_ = std::make_unique<Downstream>();
    messaging_ = std::make_unique<ZCMTestServer>(downstream_->script());
    scope_ = std::make_unique<ZCMServiceTestScope>(*identity_, messaging_.get());

    PageHost::Options options;
    options.files = {
        {"config.xml", kConfig},
        {"www/index.html", kPage},
        {"www/plugins/vokaru-plugin-push/push.js", platform::testing::readFile(VKR_PUSH_MODULE)}};
    // Launched by a notification: a data message that came while the app was not running.
    options.launchOptions =
        Value(Dictionary{{platform::ui::kApplicationLaunchOptionsRemoteNotificationKey,
                          Value(Dictionary{{"from", Value("1234")}, {"score", Value("2-0")}})}});
    host_ = std::make_unique<PageHost>(std::move(options));
    platform::Status launched = host_->launch();
    if (!launched.ok()) host_.reset();
    ASSERT_TRUE(launched.ok()) << launched.error().description();
  }
  static void TearDownTestSuite() {
    host_.reset();
    downstream_->stop();
    scope_.reset();
    messaging_.reset();
    downstream_.reset();
    VIZInstanceID::resetSharedInstanceForTesting();
    identity_.reset();
    network_.reset();
  }

  static std::string eval(const std::string& script) { return host_->eval(script); }
  static bool waitFor(const std::string& condition) { return host_->waitFor(condition); }

  static inline std::unique_ptr<platform::ScopedFakeNetworkMonitor> network_;
  static inline std::unique_ptr<IdentityServer> identity_;
  static inline std::unique_ptr<Downstream> downstream_;
  static inline std::unique_ptr<ZCMTestServer> messaging_;
  static inline std::unique_ptr<ZCMServiceTestScope> scope_;
  static inline std::unique_ptr<PageHost> host_;
};

TEST_F(PushPageTest, TheLaunchNotificationAndTheDeviceTokenReachThePageAfterInit) {
  ASSERT_NE(host_, nullptr);
  EXPECT_EQ(eval("window.push = watch(PushNotification.init({ios: {alert: true}})); 'ok'"), "ok");
  ASSERT_TRUE(waitFor("seen.length === 2"));
  EXPECT_EQ(
      eval("JSON.stringify(seen[0])"),
      R"({"additionalData":{"from":"1234","score":"2-0","foreground":false,"coldstart":true}})");
  platform::Result<platform::Bytes> token = platform::ui::remoteNotificationDeviceToken();
  ASSERT_TRUE(token.ok());
  EXPECT_EQ(eval("seen[1]"), "registration " + platform::hexString(*token));
  EXPECT_EQ(eval("push.registration.then(function (d) { seen.push(d.registrationId.length); });"
                 "'asked'"),
            "asked");
  ASSERT_TRUE(waitFor("seen.length === 3"));
  EXPECT_EQ(eval("seen[2]"), "64");
}

TEST_F(PushPageTest, TheBadgeIsSetAndReadAndPermissionFollowsRegistration) {
  eval(
      "record(push.setApplicationIconBadgeNumber(null, null, 5)"
      ".then(function () { return push.getApplicationIconBadgeNumber(); }))");
  ASSERT_TRUE(waitFor("answers.length === 1"));
  eval("record(PushNotification.hasPermission())");
  ASSERT_TRUE(waitFor("answers.length === 2"));
  EXPECT_EQ(eval("answers.join(' | ')"), R"(5 | {"isEnabled":true})");
  EXPECT_EQ(Application::shared().applicationIconBadgeNumber(), 5);
}

TEST_F(PushPageTest, WithASenderIDTheIdentityTokenIsTheIdAndTopicsAreSubscribed) {
  eval(
      "seen = []; window.push = watch(PushNotification.init("
      "{ios: {alert: true, senderID: '1234', topics: ['news', 'sport']}})); 'ok'");
  ASSERT_TRUE(waitFor("seen.length === 1"));
  const std::string registration = eval("seen[0]");
  const std::map<std::string, std::string> registrations = identity_->registrations();
  const auto issued = registrations.find("1234|ZCM");
  ASSERT_NE(issued, registrations.end()) << registration;
  const std::string token = issued->second;
  EXPECT_EQ(registration, "registration " + token);
  // Once the client has both answers (the server holds them a moment before).
  ASSERT_TRUE(platform::testing::runMainLoopUntil([] {
    return host_->log().contains("Successfully subscribe to topic news") &&
           host_->log().contains("Successfully subscribe to topic sport");
  }));
  EXPECT_EQ(identity_->topicSubscriptions(),
            (std::set<std::string>{token + "|/topics/news", token + "|/topics/sport"}));

  // The platform answers again: one more token request and result (its topics answered from the
  // subscription cache), but the identity client and the messaging service are not started anew.
  const std::shared_ptr<ZCMClient> client = ZCMService::sharedInstance().client();
  const int checkins = identity_->count("/checkin");
  Application::shared().registerForRemoteNotifications();
  ASSERT_TRUE(waitFor("seen.length === 2"));
  EXPECT_EQ(eval("seen[1]"), "registration " + token);
  EXPECT_EQ(ZCMService::sharedInstance().client(), client);
  EXPECT_EQ(identity_->count("/checkin"), checkins);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([] {
    return host_->log().contains("Already subscribed to news") &&
           host_->log().contains("Already subscribed to sport");
  }));

  // Leaving a topic answers at once; the server no longer holds it.
  eval("answers = []; record(push.unregister(null, null, ['news']))");
  ASSERT_TRUE(waitFor("answers.length === 1"));
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return identity_->topicSubscriptions().size() == 1; }));
  EXPECT_EQ(identity_->topicSubscriptions(), std::set<std::string>{token + "|/topics/sport"});
  EXPECT_TRUE(identity_->problems().empty());
}

TEST_F(PushPageTest, ADataMessageFromTheServerReachesTheHandlerOnce) {
  std::optional<platform::Error> connected;
  int answers = 0;
  ZCMService::sharedInstance().connectWithHandler([&](const std::optional<platform::Error>& e) {
    connected = e;
    ++answers;
  });
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return answers > 0; }));
  ASSERT_FALSE(connected) << connected->description();
  ASSERT_TRUE(platform::testing::runMainLoopUntil([] { return downstream_->loggedIn() == 1; }));

  eval("seen = []; 'ok'");
  downstream_->send(dataMessage("0:1001", "3-1"));
  ASSERT_TRUE(waitFor("seen.length === 1"));
  EXPECT_EQ(
      eval("JSON.stringify(seen[0])"),
      R"({"additionalData":{"from":"1234","title":"Match","score":"3-1","foreground":true,"coldstart":true}})");
  // The next message comes after it on the same connection: the first came once.
  downstream_->send(dataMessage("0:1002", "4-1"));
  ASSERT_TRUE(waitFor("seen.length === 2"));
  EXPECT_EQ(eval("seen.map(function (n) { return n.additionalData.score; }).join(' ')"), "3-1 4-1");
}

TEST_F(PushPageTest, ASilentPushInTheBackgroundIsFinishedByThePageOnce) {
  Application& application = Application::shared();
  application.enterBackground();
  std::vector<platform::ui::BackgroundFetchResult> results;
  eval(
      "seen = []; answers = []; push.on('notification', function (data) {"
      "  record(push.finish(null, null, data.additionalData.notId));"
      "  record(push.finish(null, null, data.additionalData.notId));"
      "  record(push.finish(null, null, 'nothing stored'));"
      "}); 'ok'");
  const auto stopsRun = [] {
    const std::vector<std::string> lines = host_->log().lines();
    return std::count(lines.begin(), lines.end(), "Push Plugin stopBackgroundTask called");
  };
  const auto stopsBefore = stopsRun();
  application.receiveRemoteNotification(
      Dictionary{{"aps", Value(Dictionary{{"content-available", Value(1)}})},
                 {"notId", Value("n-1")}},
      [&](platform::ui::BackgroundFetchResult result) { results.push_back(result); });
  ASSERT_TRUE(waitFor("answers.length === 3"));
  EXPECT_EQ(eval("answers.join(' | ')"), "null | null | null");
  EXPECT_EQ(eval("notifications()[0].additionalData.foreground"), "false");
  // Each `finish` completes a moment after its answer; the handler runs once.
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return stopsRun() == stopsBefore + 3; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(results, std::vector{platform::ui::BackgroundFetchResult::NewData});
  application.enterForeground();
  application.becomeActive();
}

TEST_F(PushPageTest, UnregisteringLeavesThePlatform) {
  eval("answers = []; record(push.unregister())");
  ASSERT_TRUE(waitFor("answers.length === 1"));
  EXPECT_EQ(eval("answers[0]"), R"("unregistered")");
  EXPECT_FALSE(Application::shared().isRegisteredForRemoteNotifications());
}

}  // namespace
