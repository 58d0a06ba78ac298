#include "ads/foundation/token_dispenser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ads/foundation/server_hosts.h"
#include "ads/foundation/string_encoding.h"
#include "ads/testing/oauth_server.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/class_registry.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Value;
using platform::testing::runMainLoopUntil;
using SignInRegistry = platform::ClassRegistry<platform::KeyValueObservable>;

// An identity token whose claims name the user.
std::string identityToken(const std::string& subject) {
  const std::string claims = R"({"iss":"https://accounts.example","sub":")" + subject + R"("})";
  return "header." +
         ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().encodeString(claims) +
         ".signature";
}

ZADSignedInUser user(const std::string& subject) {
  return {"https://accounts.example", subject, "client-1", "refresh-" + subject};
}

class ZADTokenDispenserTest : public ::testing::Test {
 protected:
  ZADTokenDispenserTest() {
    ZADSetOAuthAPIBaseURL(server_.baseURL());
    (void)defaults()->setObject(true, "/zorova/ads/enable_signed_in_ads");
    SignInRegistry::instance().add(kZADSignInClassName, [library = library_] { return library; });
    library_->setValueForKey("clientID", "client-1");
    signIn("alice");
  }
  ~ZADTokenDispenserTest() override {
    SignInRegistry::instance().add(kZADSignInClassName, [] { return nullptr; });
    ZADSetOAuthAPIBaseURL("https://oauth.zorova.example");
    platform::testing::drainMainLoop();
  }

  static std::shared_ptr<platform::UserDefaults> defaults() {
    return platform::UserDefaults::standard();
  }

  void signIn(const std::string& subject) {
    library_->setValueForKey("currentUser",
                             Value::dictionary({{"idToken", identityToken(subject)},
                                                {"refreshToken", "refresh-" + subject}}));
  }

  std::shared_ptr<ZADTokenDispenser> makeDispenser(bool adTrackingLimited = false) {
    return ZADTokenDispenser::make([adTrackingLimited] { return adTrackingLimited; });
  }

  // Waits until the server answered `requests` requests and the user's token is the one given.
  bool waitForToken(ZADTokenDispenser& dispenser, const ZADSignedInUser& who,
                    const std::string& token) {
    return runMainLoopUntil([&] {
      const auto tokens = dispenser.cachedTokens();
      const auto entry = tokens.find(who);
      return entry != tokens.end() && entry->second.token == token;
    });
  }

  platform::testing::TestApp app_;
  ads::testing::OAuthServer server_;
  std::shared_ptr<platform::KeyValueObservable> library_ =
      std::make_shared<platform::KeyValueObservable>();
};

TEST_F(ZADTokenDispenserTest, FetchesATokenForTheSignedInUser) {
  auto dispenser = makeDispenser();
  ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-1"));
  EXPECT_EQ(dispenser->token(), "token-1");
  EXPECT_EQ(server_.requests(), 1);
  EXPECT_EQ(server_.lastContentType(), "application/x-www-form-urlencoded");
  const std::string host = "http%3A%2F%2F127.0.0.1%3A" + server_.baseURL().substr(17);
  EXPECT_EQ(server_.lastBody(),
            "client_id=client-1&grant_type=refresh_token&refresh_token=refresh-alice&scope=" +
                host + "%2Fauth%2Fzads");
  // The first token paces the refresh timer: 0.72 of its lifespan.
  EXPECT_EQ(dispenser->minLifespan(), 3600.0);
  EXPECT_EQ(dispenser->refreshInterval(), 2592.0);

  // Signing out leaves no current user; signing in another fetches that user's token.
  library_->setValueForKey("currentUser", Value());
  ASSERT_TRUE(runMainLoopUntil([&] { return !dispenser->token(); }));
  signIn("bob");
  ASSERT_TRUE(waitForToken(*dispenser, user("bob"), "token-2"));
  EXPECT_EQ(dispenser->token(), "token-2");
  EXPECT_EQ(dispenser->cachedTokens().size(), 2u);
}

TEST_F(ZADTokenDispenserTest, LifespanFollowsTheAnswerAboveTheMinimum) {
  struct Case {
    std::optional<double> expiresIn;
    double minimumSetting;  // 0: none set
    double lifespan;
  };
  const Case cases[] = {{30, 0, 60}, {3600, 0, 3600}, {30, 120, 120}, {std::nullopt, 0, 3600}};
  for (const Case& c : cases) {
    platform::testing::TestApp app;
    (void)defaults()->setObject(true, "/zorova/ads/enable_signed_in_ads");
    if (c.minimumSetting > 0) {
      (void)defaults()->setObject(c.minimumSetting,
                                  "/zorova/ads/minimum_signed_in_ads_token_lifespan");
    }
    server_.setExpiresIn(c.expiresIn);
    auto dispenser = makeDispenser();
    ASSERT_TRUE(runMainLoopUntil([&] { return dispenser->cachedTokens().size() == 1; }));
    EXPECT_EQ(dispenser->cachedTokens().begin()->second.lifespanInSeconds, c.lifespan);
    EXPECT_EQ(dispenser->minLifespan(), c.lifespan);
  }
}

TEST_F(ZADTokenDispenserTest, NothingWhileAdTrackingIsLimitedOrSignedInAdsAreOff) {
  auto limited = makeDispenser(true);
  EXPECT_FALSE(limited->token());
  (void)defaults()->setObject(false, "/zorova/ads/enable_signed_in_ads");
  auto off = makeDispenser();
  EXPECT_FALSE(off->token());
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.requests(), 0);
  EXPECT_TRUE(limited->cachedTokens().empty());
}

TEST_F(ZADTokenDispenserTest, ClearedTokenIsReplacedOnce) {
  auto dispenser = makeDispenser();
  ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-1"));
  dispenser->refreshToken("TOKEN-unknown");
  dispenser->refreshToken("token-1");
  ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-2"));
  EXPECT_EQ(server_.requests(), 2);
  // The old token no longer points at the user: clearing it again leaves the new one be.
  dispenser->refreshToken("token-1");
  EXPECT_EQ(dispenser->token(), "token-2");
  EXPECT_EQ(server_.requests(), 2);

  // An error answer drops the entry and stores nothing.
  server_.setAnswerBody(R"({"error":"invalid_grant"})");
  dispenser->refreshToken("token-2");
  ASSERT_TRUE(runMainLoopUntil([&] { return server_.requests() == 3; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return dispenser->cachedTokens().empty(); }));
}

TEST_F(ZADTokenDispenserTest, CacheSurvivesARestart) {
  server_.setExpiresIn(600);
  {
    auto dispenser = makeDispenser();
    ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-1"));
  }
  ASSERT_TRUE(defaults()->synchronize());
  platform::UserDefaults::resetStandard();
  auto restarted = makeDispenser();
  EXPECT_EQ(restarted->token(), "token-1");
  const auto tokens = restarted->cachedTokens();
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens.begin()->first.refreshToken, "refresh-alice");
  EXPECT_EQ(tokens.begin()->second.lifespanInSeconds, 600.0);
  EXPECT_EQ(restarted->minLifespan(), 600.0);
  EXPECT_EQ(restarted->refreshInterval(), 432.0);
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.requests(), 1);  // the user has a token: none asked for
}

TEST_F(ZADTokenDispenserTest, TimerRenewsTokensBeforeTheyExpire) {
  platform::ManualClock clock;
  auto dispenser = makeDispenser();
  ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-1"));
  // A second user's longer-lived token leaves the pace as it was...
  server_.setExpiresIn(7200);
  dispenser->setCurrentUser(user("bob"));
  ASSERT_TRUE(waitForToken(*dispenser, user("bob"), "token-2"));
  EXPECT_EQ(dispenser->minLifespan(), 3600.0);
  EXPECT_EQ(dispenser->refreshInterval(), 2592.0);

  // ...and at the first tick (horizon 54 minutes) only alice's token, an hour from expiry, goes.
  server_.setExpiresIn(3600);
  clock.advanceSeconds(2592);
  ASSERT_TRUE(waitForToken(*dispenser, user("alice"), "token-3"));
  EXPECT_EQ(dispenser->cachedTokens()[user("bob")].token, "token-2");

  // A shorter-lived token makes the timer faster.
  server_.setExpiresIn(600);
  dispenser->setCurrentUser(user("carol"));
  ASSERT_TRUE(waitForToken(*dispenser, user("carol"), "token-4"));
  EXPECT_EQ(dispenser->minLifespan(), 600.0);
  EXPECT_EQ(dispenser->refreshInterval(), 432.0);
}

}  // namespace
