#include "instance_id/instance_id.h"

#include <gtest/gtest.h>

#include "instance_id/testing/client_fixture.h"
#include "instance_id/testing/iid_log_capture.h"
#include "platform/dispatch/notification_center.h"

namespace instance_id_testing {
namespace {

class RefreshCounter : public VIZInstanceIDDelegate {
 public:
  void onTokenRefresh() override { ++calls; }
  int calls = 0;
};

class InstanceIDTest : public ClientTest {
 protected:
  InstanceIDTest() {
    VIZInstanceIDConfig config = VIZInstanceIDConfig::defaultConfig();
    config.setDelegate(delegate_);
    iid_->startWithConfig(config);
  }
  static platform::Dictionary push(platform::Bytes token = platform::Bytes(32, 0xAB),
                                   bool sandbox = true) {
    return {{"apns_token", std::move(token)}, {"apns_sandbox", sandbox}};
  }
  Answer token(const std::string& entity, const std::string& scope,
               const platform::Dictionary& options) {
    Answer answer;
    iid_->tokenWithAuthorizedEntity(entity, scope, options, tokenHandler(answer));
    waitFor(answer);
    return answer;
  }
  Answer identity() {
    Answer answer;
    iid_->getIDWithHandler(tokenHandler(answer));
    waitFor(answer);
    return answer;
  }

  std::shared_ptr<RefreshCounter> delegate_ = std::make_shared<RefreshCounter>();
  std::shared_ptr<VIZInstanceID> iid_ = VIZInstanceID::sharedInstance();
};

TEST_F(InstanceIDTest, ArgumentsAreCheckedInOrderAndAnsweredOnTheMainQueue) {
  const platform::Dictionary noSandbox = {{"apns_token", platform::Bytes(32, 1)}};
  struct {
    std::string entity, scope;
    platform::Dictionary options;
    int64_t code;
  } const cases[] = {
      {"123", "zcm", {{"apns_sandbox", true}}, 1001},
      {"123", "ZCM", noSandbox, 1002},
      {"123", "ZCM", {{"apns_token", "text"}, {"apns_sandbox", true}}, 0},
      {"", "ZCM", push(), 1003},
      {"123", "", {}, 1004},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(token(c.entity, c.scope, c.options).code(), c.code) << c.scope << c.entity;
  }
  VIZInstanceID unstarted;
  Answer answer;
  unstarted.tokenWithAuthorizedEntity("123", "ZCM", push(), tokenHandler(answer));
  waitFor(answer);
  EXPECT_EQ(answer.code(), 1005);
  Answer noID;
  unstarted.getIDWithHandler(tokenHandler(noID));
  waitFor(noID);
  EXPECT_EQ(noID.code(), 1005);
  EXPECT_EQ(server_.count("/checkin"), 0);
}

TEST_F(InstanceIDTest, TokensAreFetchedCachedAndRefreshed) {
  IIDLogCapture log;
  Answer first = token("123", "ZCM", push());
  ASSERT_EQ(first.error, std::nullopt);
  EXPECT_EQ(first.value, IdentityServer::tokenFor("123", 1));
  std::string pushText = "s_";
  for (int i = 0; i < 32; ++i) pushText += "ab";
  EXPECT_EQ(server_.requests("/iid/register").front().form["apns_token"], pushText);
  EXPECT_TRUE(server_.problems().empty());
  EXPECT_EQ(iid_->deviceAuthID(), IdentityServer::kDeviceID);
  EXPECT_EQ(iid_->secretToken(), IdentityServer::kSecretToken);

  EXPECT_EQ(token("123", "ZCM", push()).value, first.value);
  EXPECT_EQ(server_.count("/iid/register"), 1) << "answered from the cache";

  // A new push token asks again.
  EXPECT_EQ(token("123", "ZCM", push(platform::Bytes(32, 0x01))).value,
            IdentityServer::tokenFor("123", 2));
  // A third option key is logged, and the request goes on.
  platform::Dictionary extra = push(platform::Bytes(32, 0x01));
  extra.set("color", "blue");
  EXPECT_EQ(token("123", "ZCM", extra).error, std::nullopt);
  EXPECT_TRUE(log.contains("Invalid options specified in request with entity 123, scope ZCM"));
  EXPECT_EQ(server_.count("/checkin"), 1);
}

TEST_F(InstanceIDTest, ServerCommandsDropTheCacheAndTheIdentity) {
  ASSERT_EQ(token("123", "ZCM", push()).error, std::nullopt);
  const std::string oldIdentity = *identity().value;

  // "SYNC" in a reply: the cache is emptied before the new token is stored, and the delegate
  // hears of it.
  server_.setRegisterReply([](const ReceivedRequest&) { return "token=|ID|1|SYNC|:fresh"; });
  EXPECT_EQ(token("123", "other", {}).value, "fresh");
  EXPECT_EQ(delegate_->calls, 1);
  EXPECT_EQ(token("123", "ZCM", push()).value, "fresh") << "the cache was emptied";
  EXPECT_EQ(delegate_->calls, 2);

  // "RST" in a reply also drops the key pair: the next request has a new identity.
  server_.setRegisterReply([](const ReceivedRequest&) { return "token=|ID|1|RST|:again"; });
  EXPECT_EQ(token("123", "other", {}).value, "again");
  server_.setRegisterReply(nullptr);
  const std::string newIdentity = *identity().value;
  EXPECT_NE(newIdentity, oldIdentity);
  ASSERT_EQ(token("123", "other", {}).error, std::nullopt);
  EXPECT_EQ(server_.requests("/iid/register").back().form["appid"], newIdentity);
  EXPECT_TRUE(server_.problems().empty());

  // Commands from the messaging client.
  const auto post = [](platform::Value object) {
    platform::NotificationCenter::defaultCenter().post(
        kVIZInstanceIDZCMMessageNotification, nullptr, platform::Value(), std::move(object));
    platform::testing::drainMainLoop();
  };
  IIDLogCapture log;
  post(platform::Value::dictionary({{"CMD", "PING"}}));
  post(platform::Value::dictionary({{"CMD", "BOGUS"}}));
  post(platform::Value("not a dictionary"));
  EXPECT_TRUE(log.contains("Invalid ZCM message with object"));
  post(platform::Value::dictionary({{"subtype", "x"}}));
  EXPECT_TRUE(log.contains("Invalid nil command to InstanceID"));
  EXPECT_EQ(delegate_->calls, 2);
  EXPECT_EQ(*identity().value, newIdentity);

  // A repeated start keeps one observation and the same managers.
  VIZInstanceIDConfig config(0);
  config.setDelegate(delegate_);
  iid_->startWithConfig(config);
  iid_->startWithConfig(config);
  post(platform::Value::dictionary({{"CMD", "SYNC"}}));
  EXPECT_EQ(delegate_->calls, 3) << "one command, one refresh";
  iid_->startWithConfig(VIZInstanceIDConfig::defaultConfig());
  post(platform::Value::dictionary({{"CMD", "RST_FULL"}}));
  EXPECT_NE(*identity().value, newIdentity);
}

TEST_F(InstanceIDTest, ACheckinUnderWayIsWaitedForThirtySeconds) {
  // A slow first check-in: the registrar reports 5 to the second request.
  Answer checkin;
  iid_->fetchCheckinInfoWithHandler(errorHandler(checkin));
  Answer waiting;
  iid_->fetchCheckinInfoWithHandler(errorHandler(waiting));
  waitFor(checkin);
  EXPECT_EQ(checkin.error, std::nullopt);
  platform::testing::drainMainLoop();
  EXPECT_EQ(waiting.calls, 0) << "answered only after the wait";
  clock_.advanceSeconds(29);
  EXPECT_EQ(waiting.calls, 0);
  clock_.advanceSeconds(1);
  waitFor(waiting);
  EXPECT_EQ(waiting.error, std::nullopt);
  EXPECT_EQ(server_.count("/checkin"), 1);

  // When the check-in under way fails, the waiting request gets 501.
  clock_.advanceSeconds(86'400);
  server_.setCheckinAnswer(CheckinAnswer{500, ""});
  Answer failing, late;
  iid_->fetchCheckinInfoWithHandler(errorHandler(failing));
  iid_->fetchCheckinInfoWithHandler(errorHandler(late));
  waitFor(failing);
  clock_.advanceSeconds(30);
  waitFor(late);
  EXPECT_EQ(late.code(), 501);
}

TEST_F(InstanceIDTest, IdentityAndItsDeletion) {
  Answer first = identity();
  ASSERT_EQ(first.error, std::nullopt);
  EXPECT_EQ(first.value->size(), 11u);
  EXPECT_EQ(identity().value, first.value);
  ASSERT_EQ(token("123", "other", {}).error, std::nullopt);

  Answer deleted;
  iid_->deleteIDWithHandler(errorHandler(deleted));
  waitFor(deleted);
  EXPECT_EQ(deleted.error, std::nullopt);
  EXPECT_TRUE(server_.registrations().empty());
  EXPECT_EQ(server_.requests("/iid/register").back().form["X-scope"], "*");
  EXPECT_NE(identity().value, first.value);
  iid_->deleteIDWithHandler(nullptr);
  iid_->getIDWithHandler(nullptr);
  platform::testing::drainMainLoop();

  Answer tokenDeleted;
  iid_->deleteTokenWithAuthorizedEntity("123", "", errorHandler(tokenDeleted));
  waitFor(tokenDeleted);
  EXPECT_EQ(tokenDeleted.code(), 1004);
}

TEST_F(InstanceIDTest, AReinstallGetsANewIdentityAndDropsOldRegistrations) {
  ASSERT_EQ(token("123", "ZCM", push()).error, std::nullopt);
  const std::string oldIdentity = *identity().value;
  const int before = server_.count("/iid/register");

  wipeAppHome();
  VIZInstanceID::resetSharedInstanceForTesting();
  iid_ = VIZInstanceID::sharedInstance();
  iid_->startWithConfig(VIZInstanceIDConfig::defaultConfig());
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return server_.count("/iid/register") == before + 1; }));
  EXPECT_EQ(server_.requests("/iid/register").back().body.find("appid"), std::string::npos)
      << "the clean-up request is unsigned";
  EXPECT_EQ(server_.registrations().count("123|ZCM"), 0u);

  Answer again = token("123", "ZCM", push());
  ASSERT_EQ(again.error, std::nullopt);
  EXPECT_EQ(server_.count("/checkin"), 2) << "the old credentials were reset";
  EXPECT_NE(*identity().value, oldIdentity);
  EXPECT_TRUE(server_.problems().empty());
}

}  // namespace
}  // namespace instance_id_testing
