#include "instance_id/token_manager.h"

#include <gtest/gtest.h>

#include "instance_id/key_pair_manager.h"
#include "instance_id/testing/client_fixture.h"

namespace instance_id_testing {
namespace {

class TokenManagerTest : public ClientTest {
 protected:
  static platform::Dictionary push(const std::string& token, bool sandbox) {
    return {{"apns_token", token}, {"apns_sandbox", sandbox}};
  }
  // The facade's road: the cache first, else a request.
  std::optional<std::string> token(const std::string& entity, const std::string& scope,
                                   const platform::Dictionary& options) {
    if (auto cached = manager_->tokenWithAuthorizedEntity(entity, scope, options)) return cached;
    Answer answer;
    manager_->fetchNewTokenWithAuthorizedEntity(entity, scope, keyPair_, options,
                                                tokenHandler(answer));
    waitFor(answer);
    EXPECT_EQ(answer.error, std::nullopt);
    return answer.value;
  }
  Answer deleteToken(const std::string& entity, const std::string& scope) {
    Answer answer;
    manager_->deleteTokenWithAuthorizedEntity(entity, scope, keyPair_, errorHandler(answer));
    waitFor(answer);
    return answer;
  }

  std::shared_ptr<VIZInstanceIDTokenManager> manager_ =
      std::make_shared<VIZInstanceIDTokenManager>();
  VIZInstanceIDKeyPairManager keyPairManager_;
  VIZInstanceIDKeyPair keyPair_ = *keyPairManager_.loadKeyPair();
};

TEST_F(TokenManagerTest, MessagingTokensComeFromTheCacheWhileThePushTokenStays) {
  const std::string first = *token("123", "ZCM", push("p_aa", false));
  EXPECT_EQ(*token("123", "ZCM", push("p_aa", false)), first);
  EXPECT_EQ(*token("123", "zcm", push("p_aa", false)), IdentityServer::tokenFor("123", 2))
      << "\"zcm\" is cached under its own spelling";
  EXPECT_EQ(server_.count("/iid/register"), 2);

  // Another server type is cached apart; a changed push token empties the messaging cache.
  token("123", "ZCM", push("p_aa", true));
  EXPECT_EQ(server_.count("/iid/register"), 3);
  EXPECT_FALSE(
      manager_->invalidateCachedTokenWithAuthorizedEntity("123", "ZCM", push("p_aa", true)));
  EXPECT_TRUE(
      manager_->invalidateCachedTokenWithAuthorizedEntity("123", "ZCM", push("p_bb", false)));
  EXPECT_EQ(manager_->instanceIDStore().tokenWithAuthorizedEntity("123", "ZCM"), std::nullopt);
  EXPECT_EQ(manager_->instanceIDStore().tokenWithAuthorizedEntity("123", "zcm"),
            IdentityServer::tokenFor("123", 2))
      << "only the service \"ZCM\" is emptied";
  EXPECT_FALSE(
      manager_->invalidateCachedTokenWithAuthorizedEntity("123", "ZCM", push("p_cc", false)))
      << "no earlier push token: not a change";

  // Other scopes always ask the server.
  token("123", "other", {});
  token("123", "other", {});
  EXPECT_EQ(server_.count("/iid/register"), 5);
}

TEST_F(TokenManagerTest, DeletionLocallyAndOnTheServer) {
  EXPECT_EQ(deleteToken("123", "ZCM").error, std::nullopt) << "nothing cached: nothing sent";
  EXPECT_EQ(server_.count("/iid/register"), 0);

  token("123", "ZCM", push("p_aa", false));
  token("123", "other", {});
  EXPECT_EQ(deleteToken("123", "ZCM").error, std::nullopt);
  EXPECT_EQ(manager_->instanceIDStore().tokenWithAuthorizedEntity("123", "ZCM"), std::nullopt);
  EXPECT_EQ(manager_->instanceIDStore().cachedAPNSTokenForServerType(false), std::nullopt);
  EXPECT_EQ(server_.registrations().count("123|ZCM"), 0u);
  EXPECT_EQ(server_.registrations().count("123|other"), 1u);

  server_.setRegisterReply([](const ReceivedRequest&) { return "Error=x"; });
  Answer failed = deleteToken("123", "other");
  EXPECT_EQ(failed.code(), 7);

  server_.setRegisterReply(
      [](const ReceivedRequest& request) { return "deleted=" + request.form.at("X-scope"); });
  Answer nobody;
  manager_->deleteAllTokensWithKeyPair(keyPair_, nullptr);
  platform::testing::drainMainLoop();
  EXPECT_EQ(manager_->instanceIDStore().tokenWithAuthorizedEntity("123", "other"), "tok-123-2")
      << "no handler: nothing done";
  Answer all;
  manager_->deleteAllTokensWithKeyPair(keyPair_, errorHandler(all));
  waitFor(all);
  EXPECT_EQ(all.error, std::nullopt);
  EXPECT_EQ(manager_->instanceIDStore().tokenWithAuthorizedEntity("123", "other"), std::nullopt);
  EXPECT_EQ(server_.requests("/iid/register").back().form["X-scope"], "*");
}

TEST_F(TokenManagerTest, NoValidCheckinReachesCallersAs501) {
  server_.setCheckinAnswer(CheckinAnswer{200, R"({"android_id":5})"});
  Answer answer;
  manager_->fetchNewTokenWithAuthorizedEntity("123", "scope", keyPair_, {}, tokenHandler(answer));
  waitFor(answer);
  EXPECT_EQ(answer.code(), 501) << "a check-in that could not be kept";

  // A check-in whose record is already expired.
  server_.setCheckinAnswer(std::nullopt);
  server_.setCheckinTimeMillis(nowMillis() - 86'400'000);
  Answer expired;
  manager_->fetchNewTokenWithAuthorizedEntity("123", "scope", keyPair_, {}, tokenHandler(expired));
  waitFor(expired);
  EXPECT_EQ(expired.code(), 501);
}

}  // namespace
}  // namespace instance_id_testing
