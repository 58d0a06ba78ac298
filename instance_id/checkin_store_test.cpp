#include "instance_id/checkin_store.h"

#include <gtest/gtest.h>

#include "instance_id/iid_utilities.h"
#include "instance_id/testing/iid_log_capture.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/keychain.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Dictionary;

class CheckinStoreTest : public ::testing::Test {
 protected:
  std::optional<std::string> keychainText() {
    platform::KeychainPassword item;
    if (platform::Keychain::shared()->findPassword(
            {kVIZInstanceIDCheckinKeychainService, kVIZInstanceIDCheckinKeychainAccount,
             kVIZInstanceIDCheckinKeychainGeneric},
            &item) != platform::kKeychainSuccess) {
      return std::nullopt;
    }
    EXPECT_EQ(item.accessibility, platform::KeychainAccessibility::AfterFirstUnlockThisDeviceOnly);
    return platform::stringOf(item.data);
  }
  std::filesystem::path plistPath() { return app_.appHome() / "Documents" / "g-checkin.plist"; }
  Dictionary fileContents() {
    auto parsed = platform::parsePropertyList(*platform::FileManager::contentsOfFile(plistPath()));
    return *parsed->dictionaryIf();
  }
  void writeFile(const Dictionary& contents) {
    std::filesystem::create_directories(plistPath().parent_path());
    ASSERT_TRUE(platform::FileManager::writeAtomically(
                    plistPath(), *platform::toPropertyList(platform::Value(contents),
                                                           platform::PropertyListFormat::XML))
                    .ok());
  }

  platform::ManualClock clock_;
  platform::testing::TestApp app_{"com.example.checkin-store"};
};

TEST_F(CheckinStoreTest, SavesBothHalvesInTheSharedFormsAndReadsThemBack) {
  VIZInstanceIDCheckinPreferences record("18446744073709551557", "42");
  record.updateWithCheckinPlistContents(
      {{kVIZInstanceIDDigestKey, "d"},
       {kVIZInstanceIDVersionInfoKey, "v"},
       {kVIZInstanceIDLastCheckinTimestampKey, VIZInstanceIDCurrentTimestampInMilliseconds()},
       {kVIZInstanceIDZServicesDataKey, platform::Value::dictionary({{"k", "1"}})}});
  {
    VIZInstanceIDCheckinStore store("g-checkin");
    std::optional<platform::Error> error;
    ASSERT_TRUE(store.saveCheckinPreferences(record, &error));
  }
  EXPECT_EQ(keychainText(), "18446744073709551557|42");
  EXPECT_EQ(fileContents(), record.checkinPlistContents());
  EXPECT_TRUE(*platform::FileManager::isExcludedFromBackup(plistPath()));

  VIZInstanceIDCheckinStore reopened("g-checkin");
  auto loaded = reopened.cachedCheckinPreferences();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->deviceID(), "18446744073709551557");
  EXPECT_EQ(loaded->digest(), "d");
  EXPECT_TRUE(loaded->hasValidCheckinInfo());

  EXPECT_TRUE(reopened.removeCheckinPreferences(nullptr));
  EXPECT_EQ(keychainText(), std::nullopt);
  EXPECT_FALSE(reopened.hasCheckinPlist());
  EXPECT_TRUE(reopened.removeCheckinPreferences(nullptr)) << "nothing to remove is success";
}

TEST_F(CheckinStoreTest, ARecordWithoutSecretWritesNothing) {
  instance_id_testing::IIDLogCapture log;
  VIZInstanceIDCheckinStore store("g-checkin");
  std::optional<platform::Error> error;
  EXPECT_FALSE(store.saveCheckinPreferences(VIZInstanceIDCheckinPreferences("1", ""), &error));
  EXPECT_TRUE(log.contains("Failed to get checkin keychain content from memory."));
  EXPECT_EQ(keychainText(), std::nullopt);
  EXPECT_FALSE(store.hasCheckinPlist());
}

TEST_F(CheckinStoreTest, AFileThatCannotBeWrittenTakesTheKeychainHalfBack) {
  std::filesystem::create_directories(plistPath().parent_path());
  auto previous = platform::FileManager::setRenameFaultForTesting([](auto&) { return EACCES; });
  VIZInstanceIDCheckinStore store("g-checkin");
  std::optional<platform::Error> error;
  EXPECT_FALSE(store.saveCheckinPreferences(VIZInstanceIDCheckinPreferences("1", "2"), &error));
  platform::FileManager::setRenameFaultForTesting(previous);
  EXPECT_EQ(keychainText(), std::nullopt);
}

TEST_F(CheckinStoreTest, OlderFilesCredentialsMoveToTheKeychain) {
  writeFile({{kVIZInstanceIDDigestKey, "d"},
             {kVIZInstanceIDVersionInfoKey, "v"},
             {kVIZInstanceIDLastCheckinTimestampKey, int64_t{5}},
             {kVIZInstanceIDZServicesDataKey, Dictionary()},
             {kVIZInstanceIDDeviceAuthIdKey, "77"},
             {kVIZInstanceIDSecretTokenKey, "88"}});
  VIZInstanceIDCheckinStore store("g-checkin");
  EXPECT_EQ(keychainText(), "77|88");
  Dictionary left = fileContents();
  EXPECT_EQ(left.size(), 4u);
  EXPECT_FALSE(left.contains(kVIZInstanceIDDeviceAuthIdKey));
  auto loaded = store.cachedCheckinPreferences();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->deviceID(), "77");
  EXPECT_EQ(loaded->lastCheckinTimestampMillis(), 5);
}

TEST_F(CheckinStoreTest, AnUnreadableKeychainTextGivesWayToTheFilesCredentials) {
  VIZInstanceIDAuthKeychain keychain(kVIZInstanceIDCheckinKeychainGeneric);
  ASSERT_TRUE(keychain.setPassword("nobar", kVIZInstanceIDCheckinKeychainService, std::nullopt,
                                   kVIZInstanceIDCheckinKeychainAccount));
  writeFile({{kVIZInstanceIDDeviceAuthIdKey, "5"}, {kVIZInstanceIDSecretTokenKey, ""}});
  VIZInstanceIDCheckinStore withoutFileSecret("g-checkin");
  EXPECT_FALSE(withoutFileSecret.cachedCheckinPreferences());

  writeFile({{kVIZInstanceIDDeviceAuthIdKey, "5"}, {kVIZInstanceIDSecretTokenKey, "6"}});
  VIZInstanceIDCheckinStore withFileCredentials("g-checkin");
  auto loaded = withFileCredentials.cachedCheckinPreferences();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->deviceID(), "5");
  EXPECT_EQ(loaded->secretToken(), "6");
}

TEST_F(CheckinStoreTest, MissingItemLoadsNothingSilently) {
  instance_id_testing::IIDLogCapture log;
  VIZInstanceIDCheckinStore store("g-checkin");
  EXPECT_FALSE(store.cachedCheckinPreferences());
  EXPECT_FALSE(log.contains("Failed to read checkin auth credentials"));
}

TEST_F(CheckinStoreTest, KeychainWritesCheckBeforeTheyDelete) {
  VIZInstanceIDAuthKeychain keychain("com.example.generic");
  ASSERT_TRUE(keychain.setPassword("kept", "svc", std::nullopt, "acct"));
  std::optional<platform::Error> error;
  EXPECT_FALSE(keychain.setPassword("", "svc", std::nullopt, "acct", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1301);
  EXPECT_EQ(keychain.passwordForService("svc", "acct").value(), "kept");

  EXPECT_EQ(keychain.passwordForService("", "acct").error().code(), -1301);
  EXPECT_EQ(keychain.passwordForService("svc", "other").error().code(), -25300);
  EXPECT_TRUE(keychain.removePasswordForService("svc", "other", &error));
  EXPECT_EQ(error->code(), -25300);
  VIZInstanceIDAuthKeychain otherGeneric("com.example.other");
  ASSERT_TRUE(otherGeneric.setPassword("x", "svc2", std::nullopt, "acct"));
  EXPECT_TRUE(keychain.removeAllItems());
  EXPECT_FALSE(keychain.passwordForService("svc", "acct").ok());
  EXPECT_TRUE(otherGeneric.passwordForService("svc2", "acct").ok());
}

}  // namespace
