#include "platform/foundation/json.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform {
namespace {

std::string compact(const Value& v) {
  Result<std::string> text = toJSON(v);
  return text.ok() ? *text : "<error: " + text.error().localizedDescription() + ">";
}

TEST(JSONTest, ReadsEveryKindOfValue) {
  Result<Value> parsed =
      parseJSON(R"({"i": -12, "big": 9223372036854775807, "r": 1.5, "t": true, "n": null,)"
                R"( "s": "a\u00e9\ud83d\ude00", "a": [1, [2]], "o": {}})");
  ASSERT_TRUE(parsed.ok()) << parsed.error().description();
  const Value& v = *parsed;
  EXPECT_EQ(v["i"], Value(-12));
  EXPECT_EQ(v["big"], Value(INT64_MAX));
  EXPECT_EQ(v["r"], Value(1.5));
  EXPECT_EQ(v["t"], Value(true));
  EXPECT_TRUE(v["n"].isNull());
  EXPECT_EQ(v["s"], Value("a\xC3\xA9\xF0\x9F\x98\x80"));
  EXPECT_EQ(v["a"], Value::array({1, Value::array({2})}));
  EXPECT_TRUE(v["o"].isDictionary());
  // Keys keep the order of the text.
  EXPECT_EQ(v.dictionaryIf()->keys().front(), "i");
}

TEST(JSONTest, WritesTheExpectedText) {
  struct Case {
    Value value;
    std::string text;
  };
  const Case cases[] = {
      {Value::array({1, -2, 0}), "[1,-2,0]"},
      {Value::array({1.0, 0.5, -1e-7}), "[1,0.5,-1e-07]"},
      {Value::array({true, false, nullptr}), "[true,false,null]"},
      {Value::array({"a/b"}), R"(["a/b"])"},
      {Value::array({"\xC3\xA9\xE2\x82\xAC"}), "[\"\xC3\xA9\xE2\x82\xAC\"]"},
      {Value::array({"q\"b\\n\n\t\x01"}), R"(["q\"b\\n\n\t\u0001"])"},
      {Value::array({"\xE2\x80\xA8\xE2\x80\xA9"}), R"(["\u2028\u2029"])"},
      {Value::array({"bad\xFF\xC3"}), "[\"bad\xEF\xBF\xBD\xEF\xBF\xBD\"]"},
      {Value::dictionary({{"b", 1}, {"a", Value::array()}}), R"({"b":1,"a":[]})"},
  };
  for (const Case& c : cases) EXPECT_EQ(compact(c.value), c.text);
}

TEST(JSONTest, PrettyPrintsWithTwoSpaces) {
  Value v = Value::dictionary({{"a", Value::array({1, 2})}, {"b", Value::dictionary()}});
  Result<std::string> text = toJSON(v, {.pretty = true});
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(*text, "{\n  \"a\" : [\n    1,\n    2\n  ],\n  \"b\" : {}\n}");
}

TEST(JSONTest, RefusesValuesJSONCannotHold) {
  EXPECT_FALSE(toJSON(Value::array({Bytes{1}})).ok());
  EXPECT_FALSE(toJSON(Value::array({Date{1}})).ok());
  EXPECT_FALSE(toJSON(Value::array({NAN})).ok());
  Result<std::string> inf = toJSON(Value::array({INFINITY}));
  ASSERT_FALSE(inf.ok());
  EXPECT_EQ(inf.error().domain(), kJSONErrorDomain);
  EXPECT_EQ(inf.error().code(), kJSONWriteError);
}

TEST(JSONTest, FragmentsOnlyWhenAllowed) {
  EXPECT_FALSE(parseJSON("\"x\"").ok());
  EXPECT_FALSE(parseJSON("12").ok());
  Result<Value> fragment = parseJSON("\"x\"", {.allowFragments = true});
  ASSERT_TRUE(fragment.ok());
  EXPECT_EQ(*fragment, Value("x"));
}

TEST(JSONTest, MalformedInputIsAnError) {
  const char* inputs[] = {
      "",       "[",    "[1,",           "{\"a\":}",   "[1] 2", "{'a':1}",
      "[01]",   "[1.]", "[\"\\x\"]",     "[\"\xFF\"]", "[tru]", "{\"a\" 1}",
      "[\"abc", "[1,]", "[\"\\ud800\"]", "nul",        "[NaN]", "{\"a\":1,}",
  };
  for (const char* input : inputs) {
    Result<Value> parsed = parseJSON(input, {.allowFragments = true});
    EXPECT_FALSE(parsed.ok()) << input;
    if (!parsed.ok()) {
      EXPECT_EQ(parsed.error().code(), kJSONReadError);
    }
  }
}

// A NUL byte is no white space: nothing after a complete value is ignored.
TEST(JSONTest, NulBytesAreErrorsWhereverTheyStand) {
  using namespace std::string_literals;
  const std::string inputs[] = {"[1]\0garbage"s, "{\"a\":1}\0{\"b\":2}"s, "[1]\0"s, "[\"a\0\"]"s,
                                "\0[1]"s};
  for (const std::string& input : inputs) {
    Result<Value> parsed = parseJSON(input, {.allowFragments = true});
    ASSERT_FALSE(parsed.ok()) << input.size();
    EXPECT_EQ(parsed.error().code(), kJSONReadError);
  }
}

TEST(JSONTest, DeepNestingIsRefusedNotFollowed) {
  std::string deep(100000, '[');
  EXPECT_FALSE(parseJSON(deep).ok());
  std::string closed = std::string(600, '[') + std::string(600, ']');
  EXPECT_FALSE(parseJSON(closed).ok());
  std::string allowed = std::string(500, '[') + std::string(500, ']');
  EXPECT_TRUE(parseJSON(allowed).ok());
}

TEST(JSONTest, RoundTripKeepsValues) {
  Value v = Value::dictionary({{"list", Value::array({1, 2.25, "x", nullptr, false})},
                               {"nested", Value::dictionary({{"k", "v\n"}})}});
  Result<std::string> text = toJSON(v);
  ASSERT_TRUE(text.ok());
  Result<Value> back = parseJSON(*text);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back, v);
}

TEST(JSONTest, StringLiteralHelper) {
  std::string out = "x=";
  appendJSONString("it's \"ok\"", out);
  EXPECT_EQ(out, R"(x="it's \"ok\"")");
}

}  // namespace
}  // namespace platform
