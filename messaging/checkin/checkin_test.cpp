#include <gtest/gtest.h>

#include "messaging/base/zcm_environment.h"
#include "messaging/checkin/zcm_checkin_service.h"
#include "messaging/checkin/zcm_checkin_store.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/keychain.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Dictionary;
using platform::Value;

class CheckinReaderTest : public ::testing::Test {
 protected:
  // The credentials' keychain item exactly as the identity client writes it.
  static void writeKeychainItem(const std::string& text,
                                const std::string& generic = kZCMCheckinKeychainGeneric) {
    platform::Keychain::shared()->deletePasswords(
        {.service = kZCMCheckinKeychainService, .account = kZCMCheckinKeychainAccount});
    ASSERT_EQ(platform::Keychain::shared()->addPassword(
                  {kZCMCheckinKeychainService, kZCMCheckinKeychainAccount, generic,
                   platform::KeychainAccessibility::AfterFirstUnlockThisDeviceOnly,
                   platform::bytesOf(text)}),
              platform::kKeychainSuccess);
  }

  // "g-checkin.plist" with the four keys the identity client writes, plus any extra entries.
  static void writePlist(int64_t checkinMillis, Dictionary extra = {}) {
    Dictionary contents = {
        {"VOZInstanceIDDigestKey", Value("digest-1")},
        {"VOZInstanceIDVersionInfo", Value("info-1")},
        {"VOZInstanceIDLastCheckinTimestampKey", Value(checkinMillis)},
        {"VOZInstanceIDZServicesData", Value(Dictionary{{"setting", Value("on")}})}};
    for (const auto& [key, value] : extra) contents.set(key, value);
    platform::Result<platform::Bytes> xml =
        platform::toPropertyList(Value(contents), platform::PropertyListFormat::XML);
    ASSERT_TRUE(platform::FileManager::writeAtomically(
                    platform::AppHome::documents() / "g-checkin.plist", *xml)
                    .ok());
  }

  static int64_t nowMillis() { return ZCMCurrentTimestampInMilliseconds(); }

  platform::testing::TestApp app_;
  platform::ManualClock clock_;
};

TEST_F(CheckinReaderTest, ReadsTheIdentityClientsRecord) {
  writeKeychainItem("123|456");
  writePlist(nowMillis() - 1000);
  ZCMCheckinService service(std::make_shared<ZCMCheckinStore>());
  ASSERT_TRUE(service.checkinPreferences());
  EXPECT_TRUE(service.hasValidCheckinInfo());
  EXPECT_EQ(service.deviceAuthID(), "123");
  EXPECT_EQ(service.secretToken(), "456");
  EXPECT_EQ(service.digest(), "digest-1");
  EXPECT_EQ(service.versionInfo(), "info-1");
  EXPECT_EQ(service.lastCheckinTimestampMillis(), nowMillis() - 1000);
  EXPECT_EQ(*service.checkinPreferences()->zServicesData().find("setting"), Value("on"));
  EXPECT_EQ(service.checkinPreferences()->checkinKeychainContent(), "123|456");
  EXPECT_EQ(service.checkinPreferences()->checkinPlistContents().size(), 4u);
}

TEST_F(CheckinReaderTest, NoFileMeansNoRecordEvenWithCredentialsInTheKeychain) {
  writeKeychainItem("123|456");
  ZCMCheckinStore store;
  EXPECT_FALSE(store.hasCheckinPlist());
  EXPECT_EQ(store.cachedCheckinPreferences(), std::nullopt);
  ZCMCheckinService service(std::make_shared<ZCMCheckinStore>());
  EXPECT_FALSE(service.hasValidCheckinInfo());
  EXPECT_EQ(service.deviceAuthID(), "");
}

TEST_F(CheckinReaderTest, CredentialsInAnOlderFileAreUsed) {
  const Dictionary oldCredentials = {{"VOZInstanceIDDeviceAuthIdKey", Value("777")},
                                     {"VOZInstanceIDSecretTokenKey", Value("888")}};
  ZCMLogRecorder recorder;
  ZCMCheckinStore store;

  // No keychain item: the file's credentials make the record.
  writePlist(nowMillis(), oldCredentials);
  std::optional<ZCMCheckinPreferences> fromFile = store.cachedCheckinPreferences();
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(fromFile->deviceID(), "777");
  EXPECT_TRUE(fromFile->hasValidCheckinInfo());
  EXPECT_TRUE(recorder.contains("Invalid key in checkin plist: VOZInstanceIDDeviceAuthIdKey",
                                kZTMLoggerLevelError));

  // A keychain text without "|": the file's credentials again.
  writeKeychainItem("123456");
  EXPECT_EQ(store.cachedCheckinPreferences()->deviceID(), "777");

  // A good keychain item loses to a six-key file, and wins over a file with only one credential.
  writeKeychainItem("123|456");
  EXPECT_EQ(store.cachedCheckinPreferences()->deviceID(), "777");
  writePlist(nowMillis(), {{"VOZInstanceIDDeviceAuthIdKey", Value("777")}});
  EXPECT_EQ(store.cachedCheckinPreferences()->deviceID(), "123");

  // Neither gives credentials: no record.
  writeKeychainItem("|456");
  writePlist(nowMillis());
  EXPECT_EQ(store.cachedCheckinPreferences(), std::nullopt);
}

TEST_F(CheckinReaderTest, OnlyTheItemWithTheGenericAttributeIsRead) {
  writeKeychainItem("123|456", "com.example.other");
  writePlist(nowMillis());
  EXPECT_EQ(ZCMCheckinStore().cachedCheckinPreferences(), std::nullopt);
}

TEST_F(CheckinReaderTest, ALaterCheckinIsSeenWhenAskedAgain) {
  writeKeychainItem("123|456");
  writePlist(nowMillis() - kZCMCheckinValidityMillis);  // exactly 24 hours old
  ZCMCheckinService service(std::make_shared<ZCMCheckinStore>());
  ASSERT_TRUE(service.checkinPreferences());
  EXPECT_FALSE(service.hasValidCheckinInfo()) << "kept, though expired";
  EXPECT_FALSE(service.tryToLoadPrefetchedCheckinPreferences());
  EXPECT_EQ(service.deviceAuthID(), "123");

  writeKeychainItem("900|901");
  writePlist(nowMillis() - kZCMCheckinValidityMillis + 1);
  EXPECT_EQ(service.deviceAuthID(), "123") << "nothing is re-read by itself";
  EXPECT_TRUE(service.tryToLoadPrefetchedCheckinPreferences());
  EXPECT_EQ(service.deviceAuthID(), "900");
  EXPECT_TRUE(service.hasValidCheckinInfo());

  clock_.advanceSeconds(1);
  EXPECT_FALSE(service.hasValidCheckinInfo()) << "the record ages with the clock";
}

TEST_F(CheckinReaderTest, ResetRemovesTheStoredCredentials) {
  writeKeychainItem("123|456");
  writePlist(nowMillis());
  auto store = std::make_shared<ZCMCheckinStore>();
  ZCMCheckinService service(store);
  service.reset();
  EXPECT_EQ(service.deviceAuthID(), "");
  EXPECT_FALSE(store->hasCheckinPlist());
  platform::KeychainPassword item;
  EXPECT_EQ(
      platform::Keychain::shared()->findPassword({.service = kZCMCheckinKeychainService}, &item),
      platform::kKeychainItemNotFound);

  std::optional<platform::Error> error;
  EXPECT_TRUE(store->removeCheckinPreferences(&error)) << "nothing left to remove";
}

TEST_F(CheckinReaderTest, KeychainErrorsCarryTheMessagingDomain) {
  ZCMAuthKeychain keychain(kZCMCheckinKeychainGeneric);
  platform::Result<std::optional<std::string>> missing =
      keychain.passwordForService(kZCMCheckinKeychainService, kZCMCheckinKeychainAccount);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().domain(), "com.zorova.zcm");
  EXPECT_EQ(missing.error().code(), -25300);
  EXPECT_EQ(keychain.passwordForService("", "a").error().code(), -1301);

  std::optional<platform::Error> error;
  EXPECT_TRUE(keychain.setPassword("1|2", "s", std::nullopt, "a", &error));
  EXPECT_FALSE(keychain.setPassword("", "s", std::nullopt, "a", &error));
  EXPECT_EQ(error->code(), -1301);
  EXPECT_EQ(*keychain.passwordForService("s", "a"), "1|2") << "a refused write keeps the item";
  error.reset();
  EXPECT_TRUE(keychain.removePasswordForService("s", "a", &error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(keychain.removePasswordForService("s", "a", &error));
  EXPECT_EQ(error->code(), -25300);
}

TEST(ZCMCheckinPreferencesTest, KeychainTextsOfOtherShapesGiveNoRecord) {
  for (const char* text : {"1|2|3", "12", "|5", "5|", ""}) {
    EXPECT_EQ(ZCMCheckinPreferences::preferencesFromKeychainContents(text), std::nullopt) << text;
  }
  EXPECT_EQ(ZCMCheckinPreferences::checkinKeychainContent("1|2", 2), std::nullopt);
  EXPECT_EQ(ZCMCheckinPreferences::checkinSecretFromKeychainContent("1|2"), "2");
}

}  // namespace
