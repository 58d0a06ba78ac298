#include <gtest/gtest.h>

#include "instance_id/iid_store.h"
#include "instance_id/testing/client_fixture.h"
#include "instance_id/testing/iid_log_capture.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/file_manager.h"

namespace instance_id_testing {
namespace {

class TokenStoreTest : public ClientTest {
 protected:
  std::filesystem::path documents() { return app_.appHome() / "Documents"; }
  void writeTokenList(const platform::Dictionary& contents) {
    std::filesystem::create_directories(documents());
    ASSERT_TRUE(
        platform::FileManager::writeAtomically(
            documents() / "com.zorova.iid-tokens.plist",
            *platform::toPropertyList(platform::Value(contents), platform::PropertyListFormat::XML))
            .ok());
  }
  platform::Dictionary tokenList() {
    auto data = platform::FileManager::contentsOfFile(documents() / "com.zorova.iid-tokens.plist");
    return data.ok() ? *platform::parsePropertyList(*data)->dictionaryIf() : platform::Dictionary();
  }
  // The first start of the store on a device that already checked in.
  void checkInAndSaveToken() {
    auto store = VIZInstanceIDStore::defaultStore();
    VIZInstanceIDCheckinPreferences record(IdentityServer::kDeviceID, IdentityServer::kSecretToken);
    record.updateWithCheckinPlistContents({{kVIZInstanceIDLastCheckinTimestampKey, nowMillis()}});
    std::optional<platform::Error> error;
    ASSERT_TRUE(store->saveCheckinPreferences(record, &error));
    store->saveToken("t1", "sender", "ZCM");
    store->saveAPNSToken("p_00", false);
  }
};

TEST_F(TokenStoreTest, TokensAreKeychainItemsWithTheirCacheTime) {
  const auto owner = VIZInstanceIDTokenStore::defaultStore();
  VIZInstanceIDTokenStore& store = *owner;
  EXPECT_TRUE(store.saveToken("tok", "123", "ZCM"));
  EXPECT_EQ(store.tokenWithAuthorizedEntity("123", "ZCM"), "tok");
  const int64_t savedAt = VIZInstanceIDCurrentTimestampInSeconds();
  EXPECT_EQ(store.cacheTimeForTokenWithAuthorizedEntity("123", "ZCM"), savedAt);
  platform::KeychainPassword item;
  ASSERT_EQ(
      platform::Keychain::shared()->findPassword({"ZCM", "123", "com.zorova.iid-tokens"}, &item),
      platform::kKeychainSuccess);
  EXPECT_EQ(platform::stringOf(item.data), std::to_string(savedAt) + "|Token|tok");

  clock_.advanceSeconds(10);
  EXPECT_TRUE(store.saveToken("tok", "123", "ZCM"));
  EXPECT_EQ(store.cacheTimeForTokenWithAuthorizedEntity("123", "ZCM"), savedAt + 10)
      << "saving again renews the time";

  EXPECT_TRUE(store.saveToken("other", "123", "zcm"));
  EXPECT_TRUE(store.saveToken("x", "9", "scope"));
  EXPECT_TRUE(store.removeZCMTokens(nullptr));
  EXPECT_EQ(store.tokenWithAuthorizedEntity("123", "ZCM"), std::nullopt);
  EXPECT_EQ(store.tokenWithAuthorizedEntity("123", "zcm"), "other") << "service matched exactly";
  EXPECT_TRUE(store.removeAllTokens(nullptr));
  EXPECT_EQ(store.tokenWithAuthorizedEntity("9", "scope"), std::nullopt);
}

TEST_F(TokenStoreTest, ALaterStartChangesNothing) {
  checkInAndSaveToken();
  auto store = VIZInstanceIDStore::defaultStore();
  EXPECT_EQ(platform::UserDefaults::standard()->stringForKey("VOZInstanceID-version"), "1.1.1");
  EXPECT_EQ(store->tokenWithAuthorizedEntity("sender", "ZCM"), "t1");
  EXPECT_TRUE(store->cachedCheckinPreferences());
  EXPECT_EQ(store->cachedAPNSTokenForServerType(false), "p_00");
  EXPECT_EQ(store->cachedAPNSTokenForServerType(true), std::nullopt);
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.count("/iid/register"), 0);
}

TEST_F(TokenStoreTest, AReinstallClearsOldCredentialsAndTheirServerRegistrations) {
  checkInAndSaveToken();
  wipeAppHome();

  auto store = VIZInstanceIDStore::defaultStore();
  EXPECT_FALSE(store->cachedCheckinPreferences());
  EXPECT_EQ(store->tokenWithAuthorizedEntity("sender", "ZCM"), std::nullopt);
  ASSERT_TRUE(
      platform::testing::runMainLoopUntil([&] { return server_.count("/iid/register") == 1; }));
  ReceivedRequest request = server_.requests("/iid/register").front();
  EXPECT_EQ(request.header("authorization"), std::string("ZidLogin ") + IdentityServer::kDeviceID +
                                                 ":" + IdentityServer::kSecretToken);
  EXPECT_EQ(request.header("info"), "");
  const std::string kid = request.form["X-kid"];
  EXPECT_EQ(request.body, std::string("device=") + IdentityServer::kDeviceID + "&app=" + kBundleID +
                              "&app_ver=2.5&X-scope=ZCM&X-kid=" + kid + "&delete=true");
  EXPECT_TRUE(server_.problems().empty());

  // The version is now saved: a further start sends nothing.
  auto again = VIZInstanceIDStore::defaultStore();
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.count("/iid/register"), 1);
}

TEST_F(TokenStoreTest, ARestoreWithItsListsKeepsEverything) {
  checkInAndSaveToken();
  platform::UserDefaults::standard()->removeObjectForKey("VOZInstanceID-version");
  auto store = VIZInstanceIDStore::defaultStore();
  EXPECT_TRUE(store->cachedCheckinPreferences());
  EXPECT_EQ(store->tokenWithAuthorizedEntity("sender", "ZCM"), "t1");
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_.count("/iid/register"), 0);
}

TEST_F(TokenStoreTest, OldListTokensMoveToTheKeychainAndUnmovableOnesStay) {
  ASSERT_TRUE(platform::UserDefaults::standard()->setObject("1.1.1", "VOZInstanceID-version").ok());
  writeTokenList({{"|O|VOZInstanceIDApnsTokenKey|prod", "p_11"},
                  {"|T|42|ZCM", "old-token"},
                  {"|T|42|ZCM-time", "1"},
                  {"|T|a|b|c", "unreadable-key"},
                  {"stray", "x"}});
  instance_id_testing::IIDLogCapture log;
  auto store = VIZInstanceIDStore::defaultStore();
  EXPECT_EQ(store->tokenWithAuthorizedEntity("42", "ZCM"), "old-token");
  EXPECT_EQ(tokenList(), (platform::Dictionary{{"|O|VOZInstanceIDApnsTokenKey|prod", "p_11"},
                                               {"|T|a|b|c", "unreadable-key"}}));
  EXPECT_TRUE(log.contains("Failed to move some tokens to Keychain."));

  store->removeCachedAPNSTokenForServerType(true);
  EXPECT_EQ(tokenList().size(), 2u) << "nothing to remove writes nothing";
  store->removeCachedAPNSTokenForServerType(false);
  EXPECT_FALSE(tokenList().contains("|O|VOZInstanceIDApnsTokenKey|prod"));
}

}  // namespace
}  // namespace instance_id_testing
