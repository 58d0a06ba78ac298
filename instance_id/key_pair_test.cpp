#include <gtest/gtest.h>

#include "instance_id/iid_utilities.h"
#include "instance_id/key_pair_manager.h"
#include "instance_id/testing/iid_log_capture.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/keychain.h"
#include "platform/testing/test_app.h"
#include "toolbox/encoding/string_encoding.h"

namespace {

class KeyPairTest : public ::testing::Test {
 protected:
  std::filesystem::path timesPath() {
    return app_.appHome() / "Documents" / "com.zorova.iid-keypair.plist";
  }
  platform::Dictionary creationTimes() {
    auto data = platform::FileManager::contentsOfFile(timesPath());
    if (!data.ok()) return {};
    return *platform::parsePropertyList(*data)->dictionaryIf();
  }

  platform::ManualClock clock_;
  platform::testing::TestApp app_{"com.example.key-pair"};
};

TEST_F(KeyPairTest, AFreshInstallationMakesAndKeepsOnePair) {
  VIZInstanceIDKeyPairManager manager;
  EXPECT_FALSE(manager.heldKeyPair()) << "nothing is in memory before a load";
  platform::Result<VIZInstanceIDKeyPair> first = manager.loadKeyPair();
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(first->isValid());
  ASSERT_TRUE(manager.heldKeyPair());
  EXPECT_EQ(manager.heldKeyPair()->publicKeyData(), first->publicKeyData());
  EXPECT_EQ(creationTimes(),
            (platform::Dictionary{{"|S|cre", VIZInstanceIDCurrentTimestampInSeconds()}}));
  EXPECT_TRUE(platform::Keychain::shared()->findKey("com.zorova.iid-|K|", nullptr) == 0);
  EXPECT_TRUE(platform::Keychain::shared()->findKey("com.zorova.iid-|P|", nullptr) == 0);

  platform::Result<std::string> identity = manager.appIdentity();
  ASSERT_TRUE(identity.ok());
  EXPECT_EQ(identity->size(), 11u);
  EXPECT_NE(std::string("klmn").find((*identity)[0]), std::string::npos) << *identity;
  EXPECT_EQ(identity->find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);

  // Another manager (a later run) finds the same pair.
  VIZInstanceIDKeyPairManager later;
  EXPECT_EQ(later.loadKeyPair()->publicKeyData(), first->publicKeyData());
  EXPECT_EQ(*later.appIdentity(), *identity);
  EXPECT_TRUE(later.hasCachedKeyPairs());
}

TEST_F(KeyPairTest, APairWithoutItsCreationTimeIsReplaced) {
  platform::Bytes oldKey;
  std::string oldIdentity;
  {
    VIZInstanceIDKeyPairManager manager;
    oldKey = manager.loadKeyPair()->publicKeyData();
    oldIdentity = *manager.appIdentity();
  }
  // A reinstall: the app's files go, the keychain stays.
  std::filesystem::remove(timesPath());
  VIZInstanceIDKeyPairManager manager;
  platform::Result<VIZInstanceIDKeyPair> fresh = manager.loadKeyPair();
  ASSERT_TRUE(fresh.ok());
  EXPECT_NE(fresh->publicKeyData(), oldKey);
  EXPECT_NE(*manager.appIdentity(), oldIdentity);
  EXPECT_TRUE(creationTimes().contains("|S|cre"));
}

TEST_F(KeyPairTest, DeletingRemovesThePairAndIsHarmlessTwice) {
  VIZInstanceIDKeyPairManager manager;
  ASSERT_TRUE(manager.loadKeyPair().ok());
  EXPECT_TRUE(manager.deleteKeyPair());
  EXPECT_FALSE(manager.heldKeyPair()) << "a deleted pair is not used again";
  EXPECT_FALSE(creationTimes().contains("|S|cre"));
  EXPECT_FALSE(manager.hasCachedKeyPairs());
  EXPECT_FALSE(platform::FileManager::fileExists(timesPath()));
  EXPECT_TRUE(manager.deleteKeyPair()) << "a pair that is not there counts as deleted";

  VIZInstanceIDKeyPairStore store;
  EXPECT_EQ(store.validCachedKeyPairWithSubtype("").error().code(), 2005);
  EXPECT_EQ(store.cachedKeyPairWithSubtype("").error().code(), 2003);
  EXPECT_EQ(VIZInstanceIDKeyPair::keyPairForPrivateKeyTag("", "x").error().code(), 2002);
}

TEST_F(KeyPairTest, SignaturesAreRawBlocksOfTheText) {
  VIZInstanceIDKeyPairManager manager;
  VIZInstanceIDKeyPair pair = *manager.loadKeyPair();
  const platform::RSAKey& key = *pair.privateKey();

  instance_id_testing::IIDLogCapture log;
  EXPECT_EQ(VIZInstanceIDSignParams(key, ""), std::nullopt);
  EXPECT_TRUE(log.contains("Failed to encrypt params"));

  const std::string text(300, 'a');
  std::optional<platform::Bytes> signature = VIZInstanceIDSignData(key, platform::bytesOf(text));
  ASSERT_TRUE(signature);
  ASSERT_EQ(signature->size(), 512u);
  platform::Bytes secondBlock(256 - 44, 0);
  secondBlock.insert(secondBlock.end(), 44, 'a');
  EXPECT_EQ(*pair.publicKey()->rawPublicOperation(
                platform::Bytes(signature->begin() + 256, signature->end())),
            secondBlock);

  std::optional<std::string> encoded = VIZInstanceIDSignParams(key, text);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->find('='), std::string::npos);
  EXPECT_EQ(ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().decode(*encoded),
            signature);
  // A full block at or above the modulus cannot be signed.
  EXPECT_EQ(VIZInstanceIDSignData(key, platform::Bytes(256, 0xFF)), std::nullopt);
  EXPECT_TRUE(log.contains("Failed to sign data"));

  EXPECT_EQ(VIZInstanceIDJoinParams({"app", "pub"}), "app\npub");
  EXPECT_EQ(VIZInstanceIDJoinParams({"app"}), "app");
}

}  // namespace
