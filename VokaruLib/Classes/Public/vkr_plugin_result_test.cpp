#include "VokaruLib/Classes/Public/vkr_plugin_result.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/testing/log_capture.h"

namespace {

using platform::Value;

TEST(VKRPluginResultTest, StatusTexts) {
  EXPECT_STREQ(VKRPluginResult::statusText(kVKRCommandStatusNoResult), "No result");
  EXPECT_STREQ(VKRPluginResult::statusText(kVKRCommandStatusOK), "OK");
  EXPECT_STREQ(VKRPluginResult::statusText(kVKRCommandStatusIOError), "IO error");
  EXPECT_STREQ(VKRPluginResult::statusText(kVKRCommandStatusError), "Error");
  EXPECT_STREQ(VKRPluginResult::statusText(10), "");
  EXPECT_STREQ(VKRPluginResult::statusText(-1), "");
}

TEST(VKRPluginResultTest, DefaultsToNoResultWithoutMessageOrKeptCallback) {
  VKRPluginResult result;
  EXPECT_EQ(result.status(), kVKRCommandStatusNoResult);
  EXPECT_TRUE(result.message().isNull());
  EXPECT_FALSE(result.keepCallback());
  EXPECT_FALSE(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, "x").keepCallback());
}

TEST(VKRPluginResultTest, ArgumentsAsJSONOfEveryMessageKind) {
  struct Case {
    const char* name;
    VKRPluginResult result;
    const char* json;
  };
  const Case cases[] = {
      {"no message", VKRPluginResult::resultWithStatus(1), "null"},
      {"string with quotes and escapes",
       VKRPluginResult::resultWithStatus(1, "say \"hi\"\n\\ 'x' \u2028"),
       "\"say \\\"hi\\\"\\n\\\\ 'x' \\u2028\""},
      {"std::string", VKRPluginResult::resultWithStatus(1, std::string("abc")), "\"abc\""},
      {"bool", VKRPluginResult::resultWithStatus(1, true), "true"},
      {"int", VKRPluginResult::resultWithStatus(1, int32_t{-42}), "-42"},
      {"NSInteger", VKRPluginResult::resultWithStatus(1, int64_t{1} << 40), "1099511627776"},
      {"NSUInteger", VKRPluginResult::resultWithStatus(1, uint64_t{7}), "7"},
      {"double", VKRPluginResult::resultWithStatus(1, 2.5), "2.5"},
      {"array", VKRPluginResult::resultWithStatus(1, Value::Array{1, "a", nullptr}),
       "[1,\"a\",null]"},
      {"dictionary", VKRPluginResult::resultWithStatus(1, platform::Dictionary{{"k", "v"}}),
       "{\"k\":\"v\"}"},
      {"array buffer", VKRPluginResult::resultWithStatus(1, platform::Bytes{0, 1, 2}),
       "{\"VKRType\":\"ArrayBuffer\",\"data\":\"AAEC\"}"},
      {"multipart in order",
       VKRPluginResult::resultWithStatusMessageAsMultipart(
           1, Value::Array{platform::Bytes{1}, "x", 3}),
       "{\"VKRType\":\"MultiPart\",\"messages\":[{\"VKRType\":\"ArrayBuffer\",\"data\":\"AQ==\"},"
       "\"x\",3]}"},
      {"error object", VKRPluginResult::resultWithStatusMessageToErrorObject(9, 5), "{\"code\":5}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.argumentsAsJSON(), c.json) << c.name;
  }
}

TEST(VKRPluginResultTest, UnwritableMessageGivesNullAndIsLogged) {
  platform::testing::LogCapture log;
  VKRPluginResult nan =
      VKRPluginResult::resultWithStatus(1, std::numeric_limits<double>::quiet_NaN());
  VKRPluginResult date(1, Value::array({platform::Date{5}}));
  EXPECT_EQ(nan.argumentsAsJSON(), "null");
  EXPECT_EQ(date.argumentsAsJSON(), "null");
  EXPECT_TRUE(log.contains("NSArray JSONString error: "));
}

}  // namespace
