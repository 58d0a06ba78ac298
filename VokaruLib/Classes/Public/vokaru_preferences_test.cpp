#include "VokaruLib/Classes/Public/vokaru_preferences.h"

#include <gtest/gtest.h>

namespace {

using platform::Dictionary;
using platform::Value;

TEST(VokaruPreferencesTest, KeysMatchWithoutRegardToCase) {
  Dictionary settings;
  setVokaruSetting(settings, "local", "BackupWebStorage");
  EXPECT_TRUE(settings.contains("backupwebstorage"));
  for (const char* key : {"backupwebstorage", "BackupWebStorage", "BACKUPWEBSTORAGE"}) {
    ASSERT_NE(vokaruSettingForKey(settings, key), nullptr) << key;
    EXPECT_EQ(*vokaruSettingForKey(settings, key), Value("local"));
  }
  EXPECT_EQ(vokaruSettingForKey(settings, "ErrorUrl"), nullptr);
}

TEST(VokaruPreferencesTest, TextReadAsBoolean) {
  const std::pair<const char*, bool> cases[] = {
      {"true", true}, {"YES", true},    {"1", true},      {"  +0007", true}, {"t", true},
      {"y", true},    {"-1", true},     {"false", false}, {"no", false},     {"0", false},
      {"", false},    {"maybe", false}, {"000", false},   {" ", false},      {"-0", false},
  };
  for (const auto& [text, expected] : cases) {
    Dictionary settings{{"flag", text}};
    EXPECT_EQ(vokaruBoolSettingForKey(settings, "Flag", !expected), expected) << '"' << text << '"';
  }
  EXPECT_TRUE(vokaruBoolSettingForKey({}, "Flag", true));
  EXPECT_FALSE(vokaruBoolSettingForKey({}, "Flag", false));
  EXPECT_TRUE(vokaruBoolSettingForKey(Dictionary{{"flag", true}}, "flag", false));
}

TEST(VokaruPreferencesTest, TextReadAsFloat) {
  const std::pair<const char*, double> cases[] = {
      {"2.5", 2.5}, {"  -0.25px", -0.25}, {"+3", 3},  {"1e2", 100},
      {"1e", 1},    {".5", 0.5},          {"abc", 0}, {"", 0},
      {"inf", 0},   {"0x10", 0},          {"-.", 0},  {"7.", 7},
  };
  for (const auto& [text, expected] : cases) {
    Dictionary settings{{"gapbetweenpages", text}};
    EXPECT_DOUBLE_EQ(vokaruFloatSettingForKey(settings, "GapBetweenPages", 9), expected)
        << '"' << text << '"';
  }
  // Read as a 32-bit float, then widened.
  EXPECT_DOUBLE_EQ(vokaruFloatSettingForKey(Dictionary{{"x", "0.1"}}, "x", 0),
                   static_cast<double>(0.1f));
  EXPECT_DOUBLE_EQ(vokaruFloatSettingForKey({}, "x", 1.5), 1.5);
}

}  // namespace
