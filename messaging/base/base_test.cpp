#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/testing/zcm_log_recorder.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Dictionary;
using platform::Value;

// Local time is read in UTC for the scope of a test.
class UtcTimeZone {
 public:
  UtcTimeZone() {
    if (const char* old = getenv("TZ")) previous_ = old;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~UtcTimeZone() {
    previous_ ? setenv("TZ", previous_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> previous_;
};

TEST(ZCMLoggerTest, LinesAreTimeTagAndMessage) {
  UtcTimeZone utc;
  platform::ManualClock clock(platform::Date{1456927387.25});
  ZCMLogRecorder recorder;
  ZCM_LOG_ERROR("abc");
  ZCM_LOG_INFO("%s=%d", "n", 5);
  ZCMLogger().logError(nullptr);

  const auto lines = recorder.lines();
  ASSERT_EQ(lines.size(), 2u) << "a call without a format writes nothing";
  EXPECT_EQ(lines[0].text, "2016-03-02 14:03:07.250: ZCM | abc");
  EXPECT_EQ(lines[0].level, kZTMLoggerLevelError);
  EXPECT_EQ(lines[1].text, "2016-03-02 14:03:07.250: ZCM | n=5");
  EXPECT_EQ(&ZCMLogger(), &ZCMLogger());
  EXPECT_NE(&ZCMLogger(), ZSDK_ZTMLogger::sharedLogger().get());
}

TEST(ZCMErrorTest, ErrorsCarryTheMessagingDomain) {
  platform::Error plain = errorWithZcmErrorCode(501);
  EXPECT_EQ(plain.domain(), "com.zorova.zcm");
  EXPECT_EQ(zcmErrorCode(plain), 501);
  EXPECT_TRUE(plain.userInfo().dictionaryIf()->empty());

  Dictionary info;
  info.set("error", Value("Failed to update sync message"));
  platform::Error withInfo = zcm_errorWithCode(19, Value(info));
  EXPECT_EQ(withInfo.code(), 19);
  EXPECT_EQ(withInfo.userInfo()["error"], Value("Failed to update sync message"));
}

TEST(ZCMDictionaryTest, OnlyTextValuesCount) {
  ZCMLogRecorder recorder;
  Dictionary options;
  options.set("a", Value("1"));
  options.set("b", Value(2));
  options.set("c", Value("x:y"));
  EXPECT_EQ(zcm_string(options), "a:1|c:x:y");
  EXPECT_TRUE(zcm_hasNonStringKeysOrValues(options));
  Dictionary trimmed = zcm_trimNonStringValues(options);
  EXPECT_EQ(trimmed.size(), 2u);
  EXPECT_TRUE(trimmed.contains("a"));
  EXPECT_FALSE(trimmed.contains("b"));
  EXPECT_TRUE(recorder.contains("Trimming key: b, value: 2", kZTMLoggerLevelError));

  const Dictionary empty;
  EXPECT_EQ(zcm_string(empty), "");
  EXPECT_FALSE(zcm_hasNonStringKeysOrValues(empty));
  EXPECT_TRUE(zcm_trimNonStringValues(empty).empty());
  EXPECT_EQ(recorder.lines().size(), 1u);
}

TEST(ZCMEnvironmentTest, TimestampsAreWholeSeconds) {
  platform::ManualClock clock(platform::Date{1456927387.999});
  EXPECT_EQ(ZCMCurrentTimestampInSeconds(), 1456927387);
  EXPECT_EQ(ZCMCurrentTimestampInMilliseconds(), 1456927387000);
  clock.advanceSeconds(0.5);
  EXPECT_EQ(ZCMCurrentTimestampInMilliseconds() % 1000, 0);
}

TEST(ZCMEnvironmentTest, AppVersionAndIdentifierComeFromTheBundle) {
  {
    Dictionary info;
    info.set("CFBundleShortVersionString", Value("2.4"));
    platform::testing::TestApp app("com.example.zcm", info);
    ZCMLogRecorder recorder;
    EXPECT_EQ(ZCMCurrentAppVersion(), "2.4");
    EXPECT_EQ(ZCMAppBundleIdentifier(), "com.example.zcm");
    EXPECT_TRUE(recorder.lines().empty());
  }
  platform::testing::TestApp app("");
  ZCMLogRecorder recorder;
  EXPECT_EQ(ZCMCurrentAppVersion(), "");
  EXPECT_EQ(ZCMCurrentAppVersion(), "");
  EXPECT_EQ(recorder.count("Could not find current app version", kZTMLoggerLevelError), 2u);
  EXPECT_EQ(ZCMAppBundleIdentifier(), std::nullopt);
}

TEST(ZCMEnvironmentTest, FreeSpaceInWholeMebibytes) {
  EXPECT_EQ(ZCMWholeMebibytes(1610612736), 1536u);  // 1.5 GiB
  EXPECT_EQ(ZCMWholeMebibytes(1048575), 0u);

  platform::testing::TestApp app;
  const uint64_t before = ZCMWholeMebibytes(
      platform::FileManager::freeSpace(platform::AppHome::documents()).valueOr(0));
  const uint64_t measured = ZCMGetFreeDiskSpaceInMB();
  EXPECT_GT(measured, 0u);
  // Others write to the same disk meanwhile: the figures agree, not to the byte.
  EXPECT_NEAR(static_cast<double>(measured), static_cast<double>(before), 64.0);

  // A documents folder that can't be queried (made unreachable: the home became a file).
  ZCMLogRecorder recorder;
  std::filesystem::remove_all(app.appHome());
  platform::FileManager::writeAtomically(app.appHome(), platform::bytesOf("x")).value();
  EXPECT_EQ(ZCMGetFreeDiskSpaceInMB(), 0u);
  ASSERT_EQ(recorder.lines().size(), 1u);
  EXPECT_NE(recorder.lines()[0].text.find("Error in retreiving device's free memory"),
            std::string::npos);
}

TEST(ZCMEnvironmentTest, LibraryVersion) { EXPECT_EQ(ZCMCurrentLibraryVersion(), "1.1.0"); }

}  // namespace
