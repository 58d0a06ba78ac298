#include <gtest/gtest.h>

#include "instance_id/iid_store.h"
#include "instance_id/key_pair_manager.h"
#include "instance_id/registrar.h"
#include "instance_id/testing/client_fixture.h"
#include "instance_id/token_store.h"

namespace instance_id_testing {
namespace {

class RegistrationTest : public ClientTest {
 protected:
  Answer fetchToken(const std::string& entity, const std::string& scope,
                    const platform::Dictionary& options = {}) {
    Answer answer;
    registrar_->fetchTokenWithAuthorizedEntity(entity, scope, keyPair_, options,
                                               tokenHandler(answer));
    waitFor(answer);
    return answer;
  }
  Answer deleteToken(const std::string& entity, const std::string& scope) {
    Answer answer;
    registrar_->deleteTokenWithAuthorizedEntity(entity, scope, keyPair_, errorHandler(answer));
    waitFor(answer);
    return answer;
  }

  std::shared_ptr<VIZInstanceIDStore> store_ = VIZInstanceIDStore::defaultStore();
  std::shared_ptr<VIZInstanceIDRegistrar> registrar_ =
      std::make_shared<VIZInstanceIDRegistrar>(store_);
  VIZInstanceIDKeyPairManager keyPairManager_;
  VIZInstanceIDKeyPair keyPair_ = *keyPairManager_.loadKeyPair();
};

TEST_F(RegistrationTest, ATokenRequestChecksInFirstThenSendsTheSignedForm) {
  Answer answer = fetchToken("123", "ZCM", {{"apns_sandbox", true}, {"apns_token", "p_0aff"}});
  ASSERT_EQ(answer.error, std::nullopt)
      << (server_.problems().empty() ? "" : server_.problems()[0]);
  EXPECT_EQ(answer.value, IdentityServer::tokenFor("123", 1));
  EXPECT_EQ(server_.count("/checkin"), 1);
  EXPECT_TRUE(server_.problems().empty()) << server_.problems().front();

  ReceivedRequest request = server_.requests("/iid/register").front();
  EXPECT_EQ(request.header("authorization"), std::string("ZidLogin ") + IdentityServer::kDeviceID +
                                                 ":" + IdentityServer::kSecretToken);
  EXPECT_EQ(request.header("app"), kBundleID);
  EXPECT_EQ(request.header("info"), IdentityServer::kVersionInfo);
  const std::string pub2 = *VIZInstanceIDPublicKeyString(keyPair_);
  const std::string expected =
      std::string("sender=123&app=") + kBundleID + "&device=" + IdentityServer::kDeviceID +
      "&app_ver=2.5&X-subtype=123&X-scope=ZCM&plat=2&X-kid=" + request.form["X-kid"] +
      "&appid=" + *VIZInstanceIDKeyPair::appIdentityWithKeyPair(keyPair_) + "&pub2=" + pub2 +
      "&sig=" + request.form["sig"] + "&apns_token=p_0aff";
  EXPECT_EQ(request.body, expected);

  // The next request carries the next id; a deletion is the delete form without sender.
  ASSERT_EQ(deleteToken("123", "ZCM").error, std::nullopt);
  ReceivedRequest deletion = server_.requests("/iid/register").back();
  EXPECT_EQ(std::stoull(deletion.form["X-kid"]), std::stoull(request.form["X-kid"]) + 1);
  EXPECT_EQ(deletion.header("info"), "");
  EXPECT_EQ(deletion.body.substr(0, deletion.body.find("&appid=")),
            std::string("device=") + IdentityServer::kDeviceID + "&app=" + kBundleID +
                "&app_ver=2.5&X-scope=ZCM&X-kid=" + deletion.form["X-kid"] + "&delete=true");
  EXPECT_TRUE(server_.problems().empty());
  EXPECT_EQ(server_.count("/checkin"), 1) << "valid credentials are reused";
}

TEST_F(RegistrationTest, EachKeyPairSignsWithItsOwnKey) {
  ASSERT_EQ(fetchToken("123", "ZCM", {}).error, std::nullopt);
  ASSERT_EQ(fetchToken("123", "ZCM", {}).error, std::nullopt);
  platform::Result<VIZInstanceIDKeyPair> other =
      VIZInstanceIDKeyPair::generateRSA2048KeyPair("test|K|other", "test|P|other");
  ASSERT_TRUE(other.ok());
  keyPair_ = *other;
  ASSERT_EQ(fetchToken("123", "ZCM", {}).error, std::nullopt);
  // The server checks every signature against the request's public key.
  EXPECT_TRUE(server_.problems().empty()) << server_.problems().front();
  const std::vector<ReceivedRequest> sent = server_.requests("/iid/register");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1].form.at("sig"), sent[0].form.at("sig"));
  EXPECT_NE(sent[2].form.at("sig"), sent[0].form.at("sig"));
}

TEST_F(RegistrationTest, CallerDataStaysInsideItsField) {
  Answer answer =
      fetchToken("1&delete=true", "ZCM",
                 {{"apns_token", "p_1&X-scope=*"}, {"other", "x"}, {"apns_sandbox", 1}});
  ASSERT_EQ(answer.error, std::nullopt);
  ReceivedRequest request = server_.requests("/iid/register").front();
  EXPECT_EQ(request.form["sender"], "1&delete=true");
  EXPECT_EQ(request.form["X-scope"], "ZCM");
  EXPECT_FALSE(request.form.contains("delete"));
  EXPECT_EQ(request.form["apns_token"], "p_1&X-scope=*");
  EXPECT_FALSE(request.form.contains("other"));

  EXPECT_EQ(VIZInstanceIDRegistrationClient::requestContentSuffixFromOptions(
                {{"apns_token", platform::Value::array()}}),
            "");
  EXPECT_EQ(VIZInstanceIDRegistrationClient::requestContentSuffixFromOptions({{"apns_token", 5}}),
            "&apns_token=5");
}

TEST_F(RegistrationTest, ReplyFormsAndUnusableReplies) {
  std::string reply;
  server_.setRegisterReply([&reply](const ReceivedRequest&) { return reply; });
  struct {
    std::string body;
    std::optional<std::string> token;
  } const cases[] = {
      {"token=plain", "plain"}, {"junk\ntoken=|ID|5|OTHER|:tok", "tok"},
      {"", std::nullopt},       {"Error=PHONE_REGISTRATION_ERROR", std::nullopt},
      {"token=", std::nullopt}, {"token=|ID|5|SYNC", std::nullopt},
  };
  for (const auto& c : cases) {
    reply = c.body;
    Answer answer = fetchToken("123", "scope");
    EXPECT_EQ(answer.value, c.token) << c.body;
    EXPECT_EQ(answer.code(), c.token ? -1 : 7) << c.body;
  }
  // The old form drops this request's own id.
  server_.setRegisterReply(
      [](const ReceivedRequest& request) { return "token=" + request.form.at("X-kid") + ":tok"; });
  EXPECT_EQ(fetchToken("123", "scope").value, "tok");

  for (const char* body : {"deleted=anything", "", "deleted", "Error=x"}) {
    reply = body;
    server_.setRegisterReply([&reply](const ReceivedRequest&) { return reply; });
    EXPECT_EQ(deleteToken("123", "scope").code(), reply.rfind("deleted=", 0) == 0 ? -1 : 7) << body;
  }
}

TEST_F(RegistrationTest, OverlappingRequestsAndMissingArguments) {
  ASSERT_EQ(fetchToken("123", "scope").error, std::nullopt);
  server_.holdRegistrations(true);
  Answer first;
  registrar_->fetchTokenWithAuthorizedEntity("123", "scope", keyPair_, {}, tokenHandler(first));
  ASSERT_TRUE(
      platform::testing::runMainLoopUntil([&] { return server_.count("/iid/register") == 2; }));
  EXPECT_EQ(fetchToken("123", "scope").code(), 5);
  EXPECT_EQ(deleteToken("123", "scope").code(), 5);
  EXPECT_EQ(server_.count("/iid/register"), 2);
  server_.holdRegistrations(false);
  waitFor(first);
  EXPECT_EQ(first.error, std::nullopt);

  EXPECT_EQ(fetchToken("", "scope").code(), 8);
  EXPECT_EQ(deleteToken("123", "").code(), 8);
}

TEST_F(RegistrationTest, ARequestThatCannotBeSignedIsNotSent) {
  ASSERT_EQ(fetchToken("123", "scope").error, std::nullopt);
  keyPair_ = VIZInstanceIDKeyPair(std::nullopt, keyPair_.publicKey(), keyPair_.publicKeyData());
  EXPECT_EQ(fetchToken("123", "scope").code(), 7);
  EXPECT_EQ(deleteToken("123", "scope").code(), 7);
  EXPECT_EQ(server_.count("/iid/register"), 1);
}

TEST_F(RegistrationTest, CheckinsAnswerOnceAndNeverOverlap) {
  Answer first, second;
  registrar_->fetchCheckinInfoWithHandler(errorHandler(first));
  registrar_->fetchCheckinInfoWithHandler(errorHandler(second));
  waitFor(first);
  waitFor(second);
  EXPECT_EQ(first.error, std::nullopt);
  EXPECT_EQ(second.code(), 5);
  EXPECT_EQ(server_.count("/checkin"), 1);

  Answer held;
  registrar_->fetchCheckinInfoWithHandler(errorHandler(held));
  waitFor(held);
  EXPECT_EQ(held.error, std::nullopt) << "valid credentials answer at once";
  EXPECT_EQ(server_.count("/checkin"), 1);

  server_.setCheckinAnswer(CheckinAnswer{500, ""});
  clock_.advanceSeconds(86'400);
  Answer failed = fetchToken("123", "scope");
  EXPECT_EQ(failed.error->domain(), kZTMSessionFetcherStatusDomain);
  EXPECT_EQ(failed.error->code(), 500);
  EXPECT_EQ(server_.count("/iid/register"), 0);
}

}  // namespace
}  // namespace instance_id_testing
