#include "toolbox/url/url_arguments.h"

#include <gtest/gtest.h>

#include "platform/testing/assertion_capture.h"
#include "toolbox/url/url_builder.h"

namespace {

using platform::Dictionary;
using platform::Value;

TEST(URLArgumentsTest, EscapingAndUnescapingOneArgument) {
  EXPECT_EQ(ztm_stringByEscapingForURLArgument("a b&c=d/\xC3\xA9"), "a%20b%26c%3Dd%2F%C3%A9");
  EXPECT_EQ(ztm_stringByEscapingForURLArgument("!*'();:@&=+$,/?%#[]-._~"),
            "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D-._~");
  struct Case {
    const char* text;
    std::optional<std::string> unescaped;
  };
  for (const Case& c : std::vector<Case>{
           {"a+b%20c", "a b c"},
           {"%zz", std::nullopt},
           {"%4", std::nullopt},
           {"%C3", std::nullopt},  // not UTF-8
           {"%C3%A9%2B", "\xC3\xA9+"},
           {"", ""},
       }) {
    EXPECT_EQ(ztm_stringByUnescapingFromURLArgument(c.text), c.unescaped) << c.text;
  }
}

TEST(URLArgumentsTest, ParsingAQueryString) {
  struct Case {
    const char* query;
    Dictionary expected;
  };
  for (const Case& c : std::vector<Case>{
           {"a=1&b=2&a=3", {{"a", "1"}, {"b", "2"}}},
           {"a&&b=", {{"a", ""}, {"b", ""}}},
           {"a=x=y", {{"a", "x=y"}}},
           {"n%20m=v+w&bad=%zz&%zz=x", {{"n m", "v w"}, {"bad", ""}, {"", "x"}}},
           {"", {}},
           {"&&", {}},
       }) {
    EXPECT_EQ(ztm_dictionaryWithHttpArgumentsString(c.query), c.expected) << c.query;
  }
}

TEST(URLArgumentsTest, BuildingAQueryStringKeepsTheDictionaryOrder) {
  EXPECT_EQ(ztm_httpArgumentsString({}), "");
  EXPECT_EQ(ztm_httpArgumentsString({{"z", "a b"}, {"a&", 7}, {"r", 2.5}}), "z=a%20b&a%26=7&r=2.5");
  const Dictionary parsed = ztm_dictionaryWithHttpArgumentsString("q=%C3%A9+1&e=");
  EXPECT_EQ(ztm_dictionaryWithHttpArgumentsString(ztm_httpArgumentsString(parsed)), parsed);
}

TEST(URLBuilderTest, RebuildsTheURLFromItsParameters) {
  std::optional<ZSDK_ZTMURLBuilder> builder =
      ZSDK_ZTMURLBuilder::builderWithString("https://example.com/p/a?q=1#frag");
  ASSERT_TRUE(builder);
  EXPECT_EQ(builder->baseURLString(), "https://example.com/p/a");
  EXPECT_EQ(builder->valueForParameter("q"), "1");
  builder->setIntegerValue(2, "r");
  EXPECT_EQ(builder->URLString(), "https://example.com/p/a?q=1&r=2");
  EXPECT_EQ(builder->integerValueForParameter("r"), 2);
  EXPECT_EQ(builder->integerValueForParameter("missing"), 0);

  builder->removeParameter("q");
  builder->removeParameter("r");
  builder->removeParameter("never there");
  EXPECT_EQ(builder->URLString(), "https://example.com/p/a");

  builder->setParameters({{"x y", "1&2"}});
  EXPECT_EQ(builder->URLString(), "https://example.com/p/a?x%20y=1%262");
}

TEST(URLBuilderTest, EqualityAndHashFollowBaseAndParameters) {
  std::optional<ZSDK_ZTMURLBuilder> a = ZSDK_ZTMURLBuilder::builderWithString("http://h/p?a=1&b=2");
  std::optional<ZSDK_ZTMURLBuilder> b = ZSDK_ZTMURLBuilder::builderWithString("http://h/p?b=2&a=1");
  std::optional<ZSDK_ZTMURLBuilder> c = ZSDK_ZTMURLBuilder::builderWithString("http://h/q?a=1&b=2");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(*a, *b);
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(*a == *c);
  b->setValue("3", "a");
  EXPECT_FALSE(*a == *b);
}

TEST(URLBuilderTest, AMissingOrInvalidURLIsACallerError) {
  platform::testing::AssertionCapture assertions;
  EXPECT_FALSE(ZSDK_ZTMURLBuilder::builderWithString(std::nullopt));
  EXPECT_FALSE(ZSDK_ZTMURLBuilder::builderWithString("http://[bad"));
  EXPECT_EQ(assertions.messages(),
            (std::vector<std::string>{"URL must not be nil", "URL is invalid"}));
}

}  // namespace
