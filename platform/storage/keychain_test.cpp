#include "platform/storage/keychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::readFile;
using testing::TestApp;
using testing::writeFile;

KeychainPassword item(std::string service, std::string account, std::string data,
                      std::string generic = "") {
  return {std::move(service), std::move(account), std::move(generic),
          KeychainAccessibility::AfterFirstUnlockThisDeviceOnly, bytesOf(data)};
}

std::vector<std::string> accountsOf(const Keychain& keychain, const KeychainQuery& query) {
  std::vector<KeychainPassword> items;
  std::vector<std::string> accounts;
  if (keychain.findPasswords(query, &items) == kKeychainSuccess) {
    for (const KeychainPassword& found : items) accounts.push_back(found.account);
  }
  return accounts;
}

struct RenameFaultGuard {
  explicit RenameFaultGuard(FileManager::RenameFault fault) {
    FileManager::setRenameFaultForTesting(std::move(fault));
  }
  ~RenameFaultGuard() { FileManager::setRenameFaultForTesting(nullptr); }
};

class KeychainTest : public ::testing::Test {
 protected:
  TestApp app_{"com.example.keychain"};
};

TEST_F(KeychainTest, AddFindUpdateDeleteWithThePlatformsStatuses) {
  Keychain keychain(app_.keychainFolder());
  KeychainPassword found;
  EXPECT_EQ(keychain.findPassword({"svc", "acct"}, &found), kKeychainItemNotFound);
  EXPECT_EQ(keychain.deletePasswords({"svc", "acct"}), kKeychainItemNotFound);
  EXPECT_EQ(keychain.updatePasswords({"svc", "acct"}, {.data = bytesOf("x")}),
            kKeychainItemNotFound);

  ASSERT_EQ(keychain.addPassword(item("checkin", "device", "id|secret", "com.example.iid")),
            kKeychainSuccess);
  EXPECT_EQ(keychain.addPassword(item("checkin", "device", "other")), kKeychainDuplicateItem);
  ASSERT_EQ(keychain.addPassword(item("ZCM", "sender1", "t1", "com.example.tokens")),
            kKeychainSuccess);
  ASSERT_EQ(keychain.addPassword(item("ZCM", "sender2", "t2", "com.example.tokens")),
            kKeychainSuccess);
  ASSERT_EQ(keychain.addPassword(item("*", "sender3", "t3", "com.example.tokens")),
            kKeychainSuccess);

  ASSERT_EQ(keychain.findPassword({"checkin", "device"}, &found), kKeychainSuccess);
  EXPECT_EQ(found, item("checkin", "device", "id|secret", "com.example.iid"));
  EXPECT_EQ(keychain.findPassword({"checkin", "device", "com.example.tokens"}, &found),
            kKeychainItemNotFound)
      << "the generic attribute must match when given";
  EXPECT_EQ(accountsOf(keychain, {.service = "ZCM"}),
            (std::vector<std::string>{"sender1", "sender2"}));
  EXPECT_EQ(accountsOf(keychain, {.generic = "com.example.tokens"}),
            (std::vector<std::string>{"sender1", "sender2", "sender3"}));

  ASSERT_EQ(keychain.updatePasswords(
                {.service = "ZCM"},
                {.data = bytesOf("renewed"), .accessibility = KeychainAccessibility::WhenUnlocked}),
            kKeychainSuccess);
  ASSERT_EQ(keychain.findPassword({"ZCM", "sender2"}, &found), kKeychainSuccess);
  EXPECT_EQ(found.data, bytesOf("renewed"));
  EXPECT_EQ(found.accessibility, KeychainAccessibility::WhenUnlocked);
  EXPECT_EQ(found.generic, "com.example.tokens");

  // Deleting by the generic attribute alone leaves other items alone.
  EXPECT_EQ(keychain.deletePasswords({.generic = "com.example.tokens"}), kKeychainSuccess);
  EXPECT_EQ(accountsOf(keychain, {}), std::vector<std::string>{"device"});
  EXPECT_EQ(keychain.deletePasswords({.generic = "com.example.tokens"}), kKeychainItemNotFound);
}

TEST_F(KeychainTest, ItemsPersistPrivatelyOutsideTheAppHome) {
  std::shared_ptr<Keychain> shared = Keychain::shared();
  EXPECT_EQ(shared, Keychain::shared());
  ASSERT_EQ(shared->addPassword(item("svc", "acct", "secret")), kKeychainSuccess);

  const fs::path file = app_.keychainFolder() / "keychain.plist";
  EXPECT_EQ(shared->store().file(), file);
  EXPECT_EQ(FileManager::attributesOfItem(file)->permissions, 0600u);
  EXPECT_EQ(FileManager::attributesOfItem(app_.keychainFolder())->permissions, 0700u);

  // A reinstall wipes the app home, not the keychain.
  fs::remove_all(app_.appHome());
  Keychain reopened(app_.keychainFolder());
  KeychainPassword found;
  ASSERT_EQ(reopened.findPassword({"svc", "acct"}, &found), kKeychainSuccess);
  EXPECT_EQ(found.data, bytesOf("secret"));
  EXPECT_EQ(found.accessibility, KeychainAccessibility::AfterFirstUnlockThisDeviceOnly);
}

TEST_F(KeychainTest, EachEnvironmentHasItsOwnSharedKeychain) {
  ASSERT_EQ(Keychain::shared()->addPassword(item("svc", "outer", "1")), kKeychainSuccess);
  {
    TestApp inner("com.example.inner");
    EXPECT_EQ(Keychain::shared()->findPassword({"svc", "outer"}, nullptr), kKeychainItemNotFound);
  }
  EXPECT_EQ(Keychain::shared()->findPassword({"svc", "outer"}, nullptr), kKeychainSuccess);
}

TEST_F(KeychainTest, FailedWriteChangesNothing) {
  Keychain keychain(app_.keychainFolder());
  ASSERT_EQ(keychain.addPassword(item("svc", "a", "1")), kKeychainSuccess);
  const std::string before = readFile(keychain.store().file());
  {
    RenameFaultGuard fault([](const fs::path&) { return ENOSPC; });
    LogCapture log;
    EXPECT_EQ(keychain.addPassword(item("svc", "b", "2")), kKeychainIOError);
    EXPECT_EQ(keychain.updatePasswords({"svc", "a"}, {.data = bytesOf("changed")}),
              kKeychainIOError);
    EXPECT_EQ(keychain.deletePasswords({}), kKeychainIOError);
    // A replacement that cannot be written keeps the item it would have replaced.
    EXPECT_EQ(keychain.replacePasswords({"svc", "a"}, item("svc", "a", "new")), kKeychainIOError);
    EXPECT_TRUE(log.contains("Cannot write the keychain file"));
  }
  EXPECT_EQ(readFile(keychain.store().file()), before);
  KeychainPassword found;
  EXPECT_EQ(keychain.findPassword({"svc", "b"}, &found), kKeychainItemNotFound);
  ASSERT_EQ(keychain.findPassword({"svc", "a"}, &found), kKeychainSuccess);
  EXPECT_EQ(found.data, bytesOf("1"));
}

TEST_F(KeychainTest, ReplacingIsOneWriteOrNoneAndWritesMadeSoonReachTheFile) {
  std::atomic<int> writes = 0;
  RenameFaultGuard counting([&](const fs::path&) {
    ++writes;
    return 0;
  });
  {
    Keychain keychain(app_.keychainFolder());
    ASSERT_EQ(keychain.addPassword(item("svc", "a", "1", "g")), kKeychainSuccess);
    EXPECT_EQ(keychain.replacePasswords({"svc", "a", "g"}, item("svc", "a", "2", "g")),
              kKeychainSuccess);
    EXPECT_EQ(writes, 2);
    // Already there as it is: nothing to write.
    EXPECT_EQ(keychain.replacePasswords({"svc", "a", "g"}, item("svc", "a", "2", "g")),
              kKeychainSuccess);
    EXPECT_EQ(writes, 2);
    // Another owner's item holds the service and account: nothing changes.
    EXPECT_EQ(keychain.replacePasswords({"svc", "a", "h"}, item("svc", "a", "3", "h")),
              kKeychainDuplicateItem);
    KeychainPassword found;
    ASSERT_EQ(keychain.findPassword({"svc", "a"}, &found), kKeychainSuccess);
    EXPECT_EQ(found.data, bytesOf("2"));

    // Written soon: read back at once, and on disk at the latest when the keychain goes.
    EXPECT_EQ(
        keychain.replacePasswords({"svc", "b"}, item("svc", "b", "soon"), KeychainWrite::Soon),
        kKeychainSuccess);
    ASSERT_EQ(keychain.findPassword({"svc", "b"}, &found), kKeychainSuccess);
    EXPECT_EQ(found.data, bytesOf("soon"));
  }
  EXPECT_EQ(writes, 3);
  Keychain reopened(app_.keychainFolder());
  EXPECT_EQ(accountsOf(reopened, {"svc"}), (std::vector<std::string>{"a", "b"}));
}

TEST_F(KeychainTest, ProcessKilledWhileWritingLeavesThePreviousFile) {
  {
    Keychain keychain(app_.keychainFolder());
    ASSERT_EQ(keychain.addPassword(item("svc", "kept", "1")), kKeychainSuccess);
  }
  EXPECT_EXIT(
      {
        Keychain keychain(app_.keychainFolder());
        FileManager::setRenameFaultForTesting([](const fs::path&) { return raise(SIGKILL); });
        (void)keychain.addPassword(item("svc", "lost", "2"));
      },
      ::testing::KilledBySignal(SIGKILL), "");
  Keychain after(app_.keychainFolder());
  EXPECT_EQ(accountsOf(after, {}), std::vector<std::string>{"kept"});
}

TEST_F(KeychainTest, CorruptFileIsLoggedSetAsideAndReadAsEmpty) {
  writeFile(app_.keychainFolder() / "keychain.plist", "<plist><dict><key>x</key>");
  LogCapture log;
  Keychain keychain(app_.keychainFolder());
  EXPECT_TRUE(log.contains("The keychain file"));
  EXPECT_TRUE(accountsOf(keychain, {}).empty());
  EXPECT_TRUE(FileManager::fileExists(app_.keychainFolder() / "keychain.plist.corrupt"));
  EXPECT_EQ(keychain.addPassword(item("svc", "new", "1")), kKeychainSuccess);
}

TEST_F(KeychainTest, OtherItemClassesInTheStoreAreLeftAlone) {
  Keychain keychain(app_.keychainFolder());
  ASSERT_EQ(keychain.store().modify("keys",
                                    [](Value::Array& records) {
                                      records.push_back(Value::dictionary({{"tag", "k1"}}));
                                      return kKeychainSuccess;
                                    }),
            kKeychainSuccess);
  ASSERT_EQ(keychain.addPassword(item("svc", "acct", "1")), kKeychainSuccess);
  ASSERT_EQ(keychain.deletePasswords({}), kKeychainSuccess);

  Keychain reopened(app_.keychainFolder());
  Value::Array keys;
  reopened.store().read("keys", [&](const Value::Array& records) { keys = records; });
  EXPECT_EQ(keys, Value::Array{Value::dictionary({{"tag", "k1"}})});
}

TEST_F(KeychainTest, KeysAreFoundAndDeletedByTagAndOutliveTheKeychainObject) {
  const KeychainKey privateKey{"pair|K|", KeychainKeyClass::Private, bytesOf("private der")};
  const KeychainKey publicKey{"pair|P|", KeychainKeyClass::Public, bytesOf("public der")};
  {
    Keychain keychain(app_.keychainFolder());
    EXPECT_EQ(keychain.findKey("pair|K|", nullptr), kKeychainItemNotFound);
    EXPECT_EQ(keychain.deleteKeys("pair|K|"), kKeychainItemNotFound);
    ASSERT_EQ(keychain.addKey(privateKey), kKeychainSuccess);
    ASSERT_EQ(keychain.addKey(publicKey), kKeychainSuccess);
    ASSERT_EQ(keychain.addPassword(item("pair|K|", "acct", "x")), kKeychainSuccess);
  }
  Keychain keychain(app_.keychainFolder());
  KeychainKey found;
  ASSERT_EQ(keychain.findKey("pair|K|", &found), kKeychainSuccess);
  EXPECT_EQ(found, privateKey);
  ASSERT_EQ(keychain.findKey("pair|P|", &found), kKeychainSuccess);
  EXPECT_EQ(found, publicKey);

  EXPECT_EQ(keychain.deleteKeys("pair|K|"), kKeychainSuccess);
  EXPECT_EQ(keychain.findKey("pair|K|", nullptr), kKeychainItemNotFound);
  EXPECT_EQ(keychain.findKey("pair|P|", nullptr), kKeychainSuccess);
  EXPECT_EQ(keychain.findPassword({"pair|K|", "acct"}, nullptr), kKeychainSuccess)
      << "passwords are a class of their own";
}

}  // namespace
}  // namespace platform
