#include "platform/storage/user_defaults.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/stored_property_list.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::readFile;
using testing::runMainLoopUntil;
using testing::TestApp;
using testing::writeFile;

// What the file holds now.
Dictionary onDisk(const fs::path& file) {
  Result<Bytes> content = FileManager::contentsOfFile(file);
  if (!content) return {};
  Result<Value> value = parsePropertyList(*content);
  return value && value->isDictionary() ? *value->dictionaryIf() : Dictionary();
}

struct RenameFaultGuard {
  explicit RenameFaultGuard(FileManager::RenameFault fault) {
    FileManager::setRenameFaultForTesting(std::move(fault));
  }
  ~RenameFaultGuard() { FileManager::setRenameFaultForTesting(nullptr); }
};

class UserDefaultsTest : public ::testing::Test {
 protected:
  fs::path file() const { return app_.appHome() / "Library/Preferences/file.plist"; }

  TestApp app_{"com.example.defaults"};
};

TEST_F(UserDefaultsTest, StandardDefaultsLiveInTheAppsPreferencesAndPersist) {
  std::shared_ptr<UserDefaults> defaults = UserDefaults::standard();
  EXPECT_EQ(defaults, UserDefaults::standard());
  EXPECT_EQ(defaults->file(), app_.appHome() / "Library/Preferences/com.example.defaults.plist");
  Value::Array languages;
  for (const std::string& language : preferredLanguages()) languages.emplace_back(language);
  EXPECT_EQ(defaults->objectForKey("AppleLanguages"), Value(languages));

  defaults->registerDefaults({{"UserAgent", "registered"}, {"Count", 1}});
  ASSERT_TRUE(defaults->setObject(7, "Count"));
  ASSERT_TRUE(defaults->setObject(Value::dictionary({{"a", Value::array({1, "x"})}}), "Tree"));
  EXPECT_EQ(defaults->objectForKey("Count"), Value(7));
  EXPECT_EQ(defaults->objectForKey("UserAgent"), Value("registered"));
  ASSERT_TRUE(defaults->synchronize());

  // Only the persistent domain reaches the file.
  EXPECT_EQ(
      onDisk(defaults->file()),
      Dictionary({{"Count", 7}, {"Tree", Value::dictionary({{"a", Value::array({1, "x"})}})}}));
  EXPECT_EQ(FileManager::attributesOfItem(defaults->file())->permissions, 0600u);

  // Another object on the same file reads what was written.
  UserDefaults reader(defaults->file());
  EXPECT_EQ(reader.integerForKey("Count"), 7);
  EXPECT_TRUE(reader.objectForKey("UserAgent").isNull());

  defaults->removeObjectForKey("Count");
  EXPECT_EQ(defaults->objectForKey("Count"), Value(1)) << "the registered value shows again";
}

TEST_F(UserDefaultsTest, TypedReadsCoerceLikeThePlatform) {
  UserDefaults defaults(file());
  struct Case {
    Value value;
    std::optional<std::string> text;
    bool flag;
    int64_t integer;
    double real;
  };
  const Case cases[] = {
      {"hello", "hello", false, 0, 0},
      {"YES", "YES", true, 0, 0},
      {"true", "true", true, 0, 0},
      {"No", "No", false, 0, 0},
      {"FALSE", "FALSE", false, 0, 0},
      {" 42abc", " 42abc", true, 42, 42},
      {"-2.5", "-2.5", true, -2, -2.5},
      {"0", "0", false, 0, 0},
      {7, "7", true, 7, 7},
      {-3.75, "-3.75", true, -3, -3.75},
      {0.25, "0.25", true, 0, 0.25},
      {true, "1", true, 1, 1},
      {false, "0", false, 0, 0},
      {Bytes{1}, std::nullopt, false, 0, 0},
      {Value::array({1}), std::nullopt, false, 0, 0},
      {Date{5}, std::nullopt, false, 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(defaults.setObject(c.value, "k"));
    std::string what = describe(c.value);
    EXPECT_EQ(defaults.stringForKey("k"), c.text) << what;
    EXPECT_EQ(defaults.boolForKey("k"), c.flag) << what;
    EXPECT_EQ(defaults.integerForKey("k"), c.integer) << what;
    EXPECT_EQ(defaults.doubleForKey("k"), c.real) << what;
  }
  EXPECT_FALSE(defaults.stringForKey("absent"));
  EXPECT_FALSE(defaults.boolForKey("absent"));
  EXPECT_EQ(defaults.integerForKey("absent"), 0);

  ASSERT_TRUE(defaults.setObject(Value::array({1, "two"}), "list"));
  ASSERT_TRUE(defaults.setObject(Value::dictionary({{"k", 1}}), "map"));
  ASSERT_TRUE(defaults.setObject(Bytes{9, 8}, "blob"));
  EXPECT_EQ(defaults.arrayForKey("list"), (Value::Array{1, "two"}));
  EXPECT_EQ(defaults.dictionaryForKey("map"), Dictionary({{"k", 1}}));
  EXPECT_EQ(defaults.dataForKey("blob"), (Bytes{9, 8}));
  // Each only for its own type.
  EXPECT_FALSE(defaults.arrayForKey("map"));
  EXPECT_FALSE(defaults.dictionaryForKey("list"));
  EXPECT_FALSE(defaults.dataForKey("list"));
  EXPECT_FALSE(defaults.arrayForKey("absent"));
}

TEST_F(UserDefaultsTest, RefusesWhatTheFileCannotHoldAndNullRemoves) {
  UserDefaults defaults(file());
  ASSERT_TRUE(defaults.setObject("kept", "k"));
  int changes = 0;
  NotificationCenter::Observation observation = NotificationCenter::defaultCenter().addObserver(
      kUserDefaultsDidChangeNotification, &defaults, [&](const Notification&) { ++changes; });

  for (const Value& bad : {Value::array({1, nullptr}), Value("not \xFF UTF-8")}) {
    Status refused = defaults.setObject(bad, "k");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().domain(), kPropertyListErrorDomain);
    EXPECT_EQ(defaults.objectForKey("k"), Value("kept"));
  }
  EXPECT_EQ(changes, 0);

  ASSERT_TRUE(defaults.setObject(nullptr, "k"));
  EXPECT_TRUE(defaults.objectForKey("k").isNull());
  EXPECT_EQ(changes, 1);
}

TEST_F(UserDefaultsTest, EveryChangePostsTheChangeNotification) {
  UserDefaults defaults(file());
  std::vector<std::string> seen;
  NotificationCenter::Observation observation = NotificationCenter::defaultCenter().addObserver(
      "NSUserDefaultsDidChangeNotification", nullptr, [&](const Notification& notification) {
        EXPECT_EQ(notification.sender, &defaults);
        // Observers may read the defaults: the change is already visible and nothing is locked.
        seen.push_back(defaults.stringForKey("k").value_or("(none)"));
      });
  ASSERT_TRUE(defaults.setObject("a", "k"));
  ASSERT_TRUE(defaults.setObject("b", "k"));
  defaults.removeObjectForKey("k");
  defaults.removeObjectForKey("k");  // nothing to remove: no change
  defaults.registerDefaults({{"k", "registered"}});
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "(none)"}));
}

TEST_F(UserDefaultsTest, ChangesReachTheFileWithoutSynchronize) {
  {
    UserDefaults defaults(file());
    ASSERT_TRUE(defaults.setObject("soon", "background"));
    EXPECT_TRUE(runMainLoopUntil([&] { return onDisk(file()).contains("background"); }));
    ASSERT_TRUE(defaults.setObject("last", "atEnd"));
  }
  // The last change was written when the object went away.
  EXPECT_EQ(onDisk(file()), Dictionary({{"background", "soon"}, {"atEnd", "last"}}));
}

TEST_F(UserDefaultsTest, ConcurrentUseFromManyThreads) {
  UserDefaults defaults(file());
  constexpr int kThreads = 8, kKeys = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kKeys; ++k) {
        std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
        EXPECT_TRUE(defaults.setObject(k, key));
        EXPECT_EQ(defaults.integerForKey(key), k);
        if (k % 10 == 0) defaults.synchronize();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_TRUE(defaults.synchronize());
  Dictionary stored = onDisk(file());
  EXPECT_EQ(stored.size(), size_t{kThreads * kKeys});
  EXPECT_EQ(stored.find("t7k49")->intOr(-1), 49);
}

TEST_F(UserDefaultsTest, SynchronizeTakesInWhatOthersWroteToTheFile) {
  UserDefaults defaults(file());
  ASSERT_TRUE(defaults.setObject("mine", "shared"));
  ASSERT_TRUE(defaults.setObject("old", "theirs"));
  ASSERT_TRUE(defaults.synchronize());

  // Someone rewrites the file directly (as the web storage repair does); then this object makes
  // a change of its own before it next writes.
  Dictionary external = onDisk(file());
  external.set("theirs", "new");
  external.set("added", 1);
  external.set("shared", "overwritten");
  ASSERT_TRUE(writeStoredDictionary(file(), external, 0600));
  ASSERT_TRUE(defaults.setObject("mine again", "shared"));

  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(defaults.objectForKey("theirs"), Value("new"));
  EXPECT_EQ(defaults.objectForKey("added"), Value(1));
  EXPECT_EQ(defaults.objectForKey("shared"), Value("mine again"));
  EXPECT_EQ(onDisk(file()),
            Dictionary({{"shared", "mine again"}, {"theirs", "new"}, {"added", 1}}));
}

TEST_F(UserDefaultsTest, CorruptFileIsLoggedSetAsideAndReadAsEmpty) {
  writeFile(file(), "bplist00 this is not a property list");
  LogCapture log;
  UserDefaults defaults(file());
  EXPECT_TRUE(defaults.objectForKey("anything").isNull());
  EXPECT_TRUE(log.contains("is not a property-list dictionary"));
  fs::path aside = file();
  aside += ".corrupt";
  EXPECT_EQ(readFile(aside), "bplist00 this is not a property list");

  ASSERT_TRUE(defaults.setObject(1, "fresh"));
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(onDisk(file()), Dictionary({{"fresh", 1}}));
}

TEST_F(UserDefaultsTest, FailedWriteKeepsThePreviousFileAndIsTriedAgain) {
  UserDefaults defaults(file());
  ASSERT_TRUE(defaults.setObject("first", "k"));
  ASSERT_TRUE(defaults.synchronize());
  {
    RenameFaultGuard fault([](const fs::path&) { return ENOSPC; });
    LogCapture log;
    ASSERT_TRUE(defaults.setObject("second", "k"));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(log.contains("Cannot save user defaults"));
    EXPECT_EQ(onDisk(file()), Dictionary({{"k", "first"}}));
    EXPECT_EQ(defaults.objectForKey("k"), Value("second"));
  }
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(onDisk(file()), Dictionary({{"k", "second"}}));
}

TEST_F(UserDefaultsTest, ProcessKilledWhileSavingLeavesThePreviousFile) {
  {
    UserDefaults defaults(file());
    ASSERT_TRUE(defaults.setObject("safe", "k"));
  }
  EXPECT_EXIT(
      {
        UserDefaults defaults(file());
        FileManager::setRenameFaultForTesting([](const fs::path&) { return raise(SIGKILL); });
        (void)defaults.setObject(std::string(100000, 'x'), "k");
        (void)defaults.synchronize();
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(onDisk(file()), Dictionary({{"k", "safe"}}));
}

TEST_F(UserDefaultsTest, ChangeMadeJustBeforeTheProcessExitsReachesTheFile) {
  const fs::path file = UserDefaults::standard()->file();
  EXPECT_EXIT(
      {
        (void)UserDefaults::standard()->setObject("last words", "k");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(onDisk(file), Dictionary({{"k", "last words"}}));
}

TEST_F(UserDefaultsTest, EachEnvironmentHasItsOwnStandardDefaults) {
  ASSERT_TRUE(UserDefaults::standard()->setObject("outer", "who"));
  {
    TestApp inner("com.example.inner");
    EXPECT_TRUE(UserDefaults::standard()->objectForKey("who").isNull());
    ASSERT_TRUE(UserDefaults::standard()->setObject("inner", "who"));
  }
  // The outer app's defaults were written when the inner app took over, and read back now.
  EXPECT_EQ(UserDefaults::standard()->objectForKey("who"), Value("outer"));
}

}  // namespace
}  // namespace platform
