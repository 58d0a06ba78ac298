#include "messaging/service/zcm_pubsub.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "instance_id/testing/identity_server.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/service/testing/zcm_service_test_kit.h"
#include "messaging/service/zcm_pubsub_registration_client.h"
#include "messaging/service/zcm_pubsub_topic.h"
#include "messaging/service/zcm_service.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/app_home.h"
#include "platform/storage/keychain.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using instance_id_testing::IdentityServer;
using platform::Dictionary;
using platform::Value;

constexpr const char* kToken = "reg-token-1";

class ZCMPubSubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZCMServiceTestScope::storeCheckin(ZCMCurrentTimestampInMilliseconds());
    ZCMService::sharedInstance().startWithConfig(ZCMConfig::defaultConfig());
  }

  // Runs one request to its answer (on the main queue, once) and gives its code (0 for none).
  int64_t run(bool subscribe, const std::string& topic, const Dictionary& options = {},
              const std::string& token = kToken) {
    int calls = 0;
    bool onMain = false;
    std::optional<platform::Error> result;
    auto handler = [&](const std::optional<platform::Error>& error) {
      ++calls;
      onMain = platform::isMainThread();
      result = error;
    };
    if (subscribe) {
      ZCMPubSub::sharedInstance().subscribeWithToken(token, topic, options, handler);
    } else {
      ZCMPubSub::sharedInstance().unsubscribeWithToken(token, topic, options, handler);
    }
    EXPECT_EQ(calls, 0) << "answered before returning";
    EXPECT_TRUE(platform::testing::runMainLoopUntil([&] { return calls > 0; }));
    platform::testing::drainMainLoop();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
    if (!result) return 0;
    EXPECT_EQ(result->domain(), kZCMErrorDomain);
    return result->code();
  }
  int64_t subscribe(const std::string& topic, const Dictionary& options = {}) {
    return run(true, topic, options);
  }
  int64_t unsubscribe(const std::string& topic, const Dictionary& options = {}) {
    return run(false, topic, options);
  }
  int requests() const { return server.count("/iid/register"); }

  platform::ManualClock clock;
  platform::testing::TestApp app{"com.example.zcm-app", {{"CFBundleShortVersionString", "3.1"}}};
  IdentityServer server;
  ZCMServiceTestScope scope{server};
};

TEST_F(ZCMPubSubTest, TopicSyntax) {
  const struct {
    const char* expression;
    const char* name;  // null: refused
  } cases[] = {
      {"/topics/news", "news"},
      {"/topics/a-b_c.d~e%20", "a-b_c.d~e%20"},
      {"/topics/A9", "A9"},
      {"news", nullptr},
      {"/topics/", nullptr},
      {"/topics/two words", nullptr},
      {"x/topics/news", nullptr},
      {"/topics/news\n", nullptr},
      {"/topics/news\n/topics/more", nullptr},
      {"/topics/caf\xC3\xA9", nullptr},
      {"/topics/a/b", nullptr},
      {"/topics/a,b", nullptr},
  };
  for (const auto& item : cases) {
    std::optional<ZCMPubSubTopic> topic = ZCMPubSubTopic::topicWithExpression(item.expression);
    if (item.name) {
      ASSERT_TRUE(topic) << item.expression;
      EXPECT_EQ(topic->topicName(), item.name);
    } else {
      EXPECT_FALSE(topic) << item.expression;
    }
  }
}

TEST_F(ZCMPubSubTest, InvalidTopicsAreRefusedWithoutARequest) {
  for (const char* topic : {"news", "/topics/", "/topics/a b", "/topics/news\n"}) {
    EXPECT_EQ(subscribe(topic), kZCMErrorCodeInvalidTopic) << topic;
    EXPECT_EQ(unsubscribe(topic), kZCMErrorCodeInvalidTopic) << topic;
  }
  EXPECT_EQ(requests(), 0);
}

TEST_F(ZCMPubSubTest, SubscribesAndUnsubscribesWithTheCacheAnsweringForThreeDays) {
  EXPECT_EQ(subscribe("/topics/news"), 0);
  ASSERT_EQ(requests(), 1);
  const instance_id_testing::ReceivedRequest request = server.requests("/iid/register")[0];
  EXPECT_EQ(request.body, std::string("sender=reg-token-1&app=com.example.zcm-app&device=") +
                              IdentityServer::kDeviceID +
                              "&app_ver=3.1&X-zcm.topic=/topics/news&X-scope=/topics/news");
  EXPECT_TRUE(server.problems().empty()) << server.problems()[0];
  EXPECT_EQ(server.topicSubscriptions(), std::set<std::string>{"reg-token-1|/topics/news"});

  // Within three days the cache answers (the identity client checks in again meanwhile).
  clock.advance(std::chrono::milliseconds(ZCMPubSubCache::kCacheRefreshIntervalMillis));
  ZCMServiceTestScope::storeCheckin(ZCMCurrentTimestampInMilliseconds());
  EXPECT_EQ(subscribe("/topics/news"), kZCMErrorCodeAlreadySubscribed);
  EXPECT_EQ(requests(), 1);

  // Subscribed is not unsubscribed: the server is asked.
  EXPECT_EQ(unsubscribe("/topics/news"), 0);
  ASSERT_EQ(requests(), 2);
  EXPECT_TRUE(server.requests("/iid/register")[1].body.ends_with("&delete=true"));
  EXPECT_TRUE(server.topicSubscriptions().empty());
  EXPECT_EQ(unsubscribe("/topics/news"), kZCMErrorCodeAlreadyUnsubscribed);
  EXPECT_EQ(requests(), 2);

  // Past three days the server is asked again.
  clock.advance(std::chrono::milliseconds(ZCMPubSubCache::kCacheRefreshIntervalMillis + 1000));
  ZCMServiceTestScope::storeCheckin(ZCMCurrentTimestampInMilliseconds());
  EXPECT_EQ(unsubscribe("/topics/news"), 0);
  EXPECT_EQ(requests(), 3);
}

TEST_F(ZCMPubSubTest, CacheKeysAndEntryValidity) {
  EXPECT_EQ(ZCMPubSubCache::cacheKeyForTopic("/topics/t", "tok", ""), "tok|/topics/t||");
  EXPECT_EQ(ZCMPubsubRegistrationClient::pubsubRegistrationKeyWithToken("tok", "/topics/t", {}),
            "tok|/topics/t|");
  const int64_t now = ZCMCurrentTimestampInMilliseconds();
  EXPECT_TRUE(ZCMPubSubCache::isCacheEntryValidWithTime(now));
  EXPECT_TRUE(ZCMPubSubCache::isCacheEntryValidWithTime(now - 259'200'000));
  EXPECT_FALSE(ZCMPubSubCache::isCacheEntryValidWithTime(now - 259'200'001));
  EXPECT_FALSE(ZCMPubSubCache::isCacheEntryValidWithTime(now + 1000));

  // An entry from the future, or of another shape, doesn't answer.
  const std::string key = ZCMPubSubCache::cacheKeyForTopic("/topics/t", kToken, "");
  ASSERT_TRUE(platform::UserDefaults::standard()
                  ->setObject(Value::array({Value(1), Value(now + 60'000)}), key)
                  .ok());
  EXPECT_EQ(subscribe("/topics/t"), 0);
  ASSERT_TRUE(platform::UserDefaults::standard()->setObject(Value::array({Value(1)}), key).ok());
  EXPECT_EQ(subscribe("/topics/t"), 0);
  EXPECT_EQ(requests(), 2);
}

TEST_F(ZCMPubSubTest, OptionsAreTrimmedToTextAndKeyTheCache) {
  EXPECT_EQ(subscribe("/topics/t", {{"a", Value("1")}, {"n", Value(2)}}), 0);
  // The number was trimmed, so the same text options find the entry.
  EXPECT_EQ(subscribe("/topics/t", {{"a", Value("1")}}), kZCMErrorCodeAlreadySubscribed);
  EXPECT_EQ(subscribe("/topics/t", {{"a", Value("2")}}), 0);
  EXPECT_EQ(requests(), 2);
  EXPECT_TRUE(platform::UserDefaults::standard()
                  ->objectForKey(ZCMPubSubCache::cacheKeyForTopic("/topics/t", kToken, "a:1"))
                  .isArray());
}

TEST_F(ZCMPubSubTest, FormValuesAreEncodedSoTheyCannotAddFields) {
  EXPECT_EQ(run(true, "/topics/50%off", {}, "tok&delete=true"), 0);
  ASSERT_EQ(requests(), 1);
  const instance_id_testing::ReceivedRequest request = server.requests("/iid/register")[0];
  EXPECT_EQ(request.form.at("sender"), "tok&delete=true");
  EXPECT_EQ(request.form.at("X-zcm.topic"), "/topics/50%off");
  EXPECT_FALSE(request.form.contains("delete"));
  EXPECT_EQ(server.topicSubscriptions(), std::set<std::string>{"tok&delete=true|/topics/50%off"});
}

TEST_F(ZCMPubSubTest, RepliesWithoutATokenAndServerErrorsFail) {
  server.setRegisterReply([](const instance_id_testing::ReceivedRequest&) { return "Error=NO"; });
  EXPECT_EQ(subscribe("/topics/a"), kZCMErrorCodeInvalidResponse);
  server.setRegisterReply([](const instance_id_testing::ReceivedRequest&) { return ""; });
  EXPECT_EQ(subscribe("/topics/a"), kZCMErrorCodeInvalidResponse);
  // A failed request leaves nothing in the cache.
  server.setRegisterReply([](const instance_id_testing::ReceivedRequest&) { return "token=x"; });
  EXPECT_EQ(subscribe("/topics/a"), 0);
  EXPECT_EQ(requests(), 3);

  const struct {
    const char* reply;
    std::optional<std::string> token;
  } replies[] = {{"token=abc", "abc"},         {"token=a=b", "a"}, {"token", std::nullopt},
                 {"tokens=abc", std::nullopt}, {"", std::nullopt}, {"token=", ""}};
  for (const auto& item : replies) {
    EXPECT_EQ(ZCMPubsubRegistrationClient::tokenFromReply(item.reply), item.token) << item.reply;
  }
}

TEST_F(ZCMPubSubTest, ARunningRequestRefusesTheSameOne) {
  server.holdRegistrations(true);
  int firstCalls = 0;
  std::optional<platform::Error> first;
  ZCMPubSub::sharedInstance().subscribeWithToken(kToken, "/topics/slow", {},
                                                 [&](const std::optional<platform::Error>& error) {
                                                   ++firstCalls;
                                                   first = error;
                                                 });
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return requests() == 1; },
                                                  std::chrono::seconds(10)));
  EXPECT_EQ(subscribe("/topics/slow"), kZCMErrorCodePubSubOperationInProgress);
  server.holdRegistrations(false);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return firstCalls == 1; }));
  EXPECT_FALSE(first);
  EXPECT_EQ(requests(), 1);
}

TEST_F(ZCMPubSubTest, WithoutCheckinNoRequestIsMade) {
  platform::Keychain::shared()->deletePasswords({});
  std::filesystem::remove(platform::AppHome::documents() / "g-checkin.plist");
  ZCMService::resetSharedInstanceForTesting();
  ZCMService::sharedInstance().startWithConfig(ZCMConfig::defaultConfig());
  EXPECT_EQ(subscribe("/topics/a"), kZCMErrorCodeMissingCheckin);
  EXPECT_EQ(requests(), 0);
}

// A use before the service starts, or after a teardown, answers 3004 and spoils nothing later.
TEST_F(ZCMPubSubTest, TheServicesCurrentClientIsReadAtEachCall) {
  ZCMService::sharedInstance().teardown();
  EXPECT_EQ(subscribe("/topics/a"), kZCMErrorCodePubSubClientNotSetup);
  ZCMService::resetSharedInstanceForTesting();
  EXPECT_EQ(subscribe("/topics/a"), kZCMErrorCodePubSubClientNotSetup);
  ZCMService::sharedInstance().startWithConfig(ZCMConfig::defaultConfig());
  EXPECT_EQ(subscribe("/topics/a"), 0);
  EXPECT_EQ(requests(), 1);
}

TEST_F(ZCMPubSubTest, CallsFromAnotherThreadAnswerOnTheMainQueue) {
  int calls = 0;
  bool onMain = false;
  std::thread caller([&] {
    ZCMPubSub::sharedInstance().subscribeWithToken(kToken, "/topics/t", {},
                                                   [&](const std::optional<platform::Error>&) {
                                                     onMain = platform::isMainThread();
                                                     ++calls;
                                                   });
  });
  caller.join();
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return calls == 1; }));
  EXPECT_TRUE(onMain);
  EXPECT_EQ(requests(), 1);
}

}  // namespace
