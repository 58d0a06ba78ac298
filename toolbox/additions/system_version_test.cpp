#include "toolbox/additions/system_version.h"

#include <gtest/gtest.h>

#include "platform/foundation/system_info.h"
#include "platform/testing/assertion_capture.h"
#include "platform/testing/log_capture.h"

namespace {

TEST(SystemVersionTest, VersionTexts) {
  struct Case {
    const char* version;
    toolbox::SystemVersionNumbers numbers;
    const char* assertion;  // or null
  };
  const Case cases[] = {
      {"8.4", {8, 4, 0}, nullptr},
      {"9.3.5", {9, 3, 5}, nullptr},
      {"12.0.0", {12, 0, 0}, nullptr},
      {"10.15.7", {10, 15, 7}, nullptr},
      {"99999999999.1", {INT32_MAX, 1, 0}, nullptr},
      {"12", {}, "Unparseable version 12"},
      {"1.2.3.4", {}, "Unparseable version 1.2.3.4"},
      {"", {}, "Unparseable version "},
      {"0.4", {0, 4, 0}, "Unknown version for 0.4"},
      {"beta.2", {0, 2, 0}, "Unknown version for beta.2"},
  };
  platform::testing::LogCapture quiet;
  for (const Case& c : cases) {
    platform::testing::AssertionCapture assertions;
    const toolbox::SystemVersionNumbers numbers = toolbox::parseSystemVersion(c.version);
    EXPECT_EQ(numbers.major, c.numbers.major) << c.version;
    EXPECT_EQ(numbers.minor, c.numbers.minor) << c.version;
    EXPECT_EQ(numbers.bugFix, c.numbers.bugFix) << c.version;
    EXPECT_EQ(assertions.messages(),
              c.assertion ? std::vector<std::string>{c.assertion} : std::vector<std::string>{})
        << c.version;
  }
}

TEST(SystemVersionTest, NumbersOfThisSystem) {
  const toolbox::SystemVersionNumbers expected =
      toolbox::parseSystemVersion(platform::systemVersion());
  int32_t major = -1, minor = -1, bugFix = -1;
  ZSDK_ZTMSystemVersion::getMajor(&major, &minor, &bugFix);
  EXPECT_GT(major, 0);
  EXPECT_EQ(major, expected.major);
  EXPECT_EQ(minor, expected.minor);
  EXPECT_EQ(bugFix, expected.bugFix);

  // Only the numbers asked for are stored.
  int32_t onlyMinor = -1;
  major = bugFix = -7;
  ZSDK_ZTMSystemVersion::getMajor(nullptr, &onlyMinor, nullptr);
  EXPECT_EQ(onlyMinor, expected.minor);
  EXPECT_EQ(major, -7);
  EXPECT_EQ(bugFix, -7);
}

TEST(SystemVersionTest, BuildComparisons) {
  const std::string build = ZSDK_ZTMSystemVersion::build();
  ASSERT_FALSE(build.empty());
  EXPECT_EQ(build, platform::systemBuild());
  std::string shouted = build;
  for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildEqualTo(shouted));
  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildLessThanOrEqualTo(build));
  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildGreaterThanOrEqualTo(build));
  EXPECT_FALSE(ZSDK_ZTMSystemVersion::isBuildLessThan(build));
  EXPECT_FALSE(ZSDK_ZTMSystemVersion::isBuildGreaterThan(build));
  // A later build of the same line, and an earlier one.
  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildLessThan(build + "9"));
  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildLessThan("99999" + build));
  EXPECT_TRUE(ZSDK_ZTMSystemVersion::isBuildGreaterThan(""));
  EXPECT_FALSE(ZSDK_ZTMSystemVersion::isBuildGreaterThanOrEqualTo(build + "a"));
  EXPECT_EQ(ZSDK_ZTMSystemVersion::runtimeArchitecture(), "iPhone");
}

}  // namespace
