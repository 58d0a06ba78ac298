#include "VokaruLib/Classes/Public/vkr_json.h"

#include <gtest/gtest.h>

#include "platform/testing/log_capture.h"

namespace {

using platform::Value;

TEST(VKRJSONTest, ArraysAreCompactAndDictionariesPretty) {
  EXPECT_EQ(vkr_JSONString(Value::Array{1, "a/b", true}), "[1,\"a/b\",true]");
  EXPECT_EQ(vkr_JSONString(platform::Dictionary{{"k", 1}}), "{\n  \"k\" : 1\n}");
}

TEST(VKRJSONTest, FailuresAreLoggedWithTheirTexts) {
  platform::testing::LogCapture log;
  EXPECT_FALSE(vkr_JSONString(Value::Array{platform::Bytes{1}}).has_value());
  EXPECT_FALSE(vkr_JSONString(platform::Dictionary{{"d", platform::Date{}}}).has_value());
  EXPECT_FALSE(vkr_JSONObject("[1,").has_value());
  ASSERT_EQ(log.lines().size(), 3u);
  EXPECT_EQ(log.lines()[0].rfind("NSArray JSONString error: ", 0), 0u);
  EXPECT_EQ(log.lines()[1].rfind("NSDictionary JSONString error: ", 0), 0u);
  EXPECT_EQ(log.lines()[2].rfind("NSString JSONObject error: ", 0), 0u);
}

TEST(VKRJSONTest, OnlyFragmentReadingAcceptsBareValues) {
  platform::testing::LogCapture log;
  EXPECT_EQ(vkr_JSONObject("[1,{\"a\":null}]"),
            Value::array({1, Value::dictionary({{"a", nullptr}})}));
  EXPECT_FALSE(vkr_JSONObject("\"text\"").has_value());
  EXPECT_EQ(vkr_JSONFragment("\"text\""), Value("text"));
  EXPECT_EQ(vkr_JSONFragment("3"), Value(3));
}

}  // namespace
