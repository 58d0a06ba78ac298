#include <gtest/gtest.h>

#include "ads/foundation/json_additions.h"
#include "ads/foundation/string_additions.h"
#include "ads/foundation/template_additions.h"
#include "ads/foundation/url_additions.h"

namespace {

using platform::Dictionary;
using platform::URL;
using platform::Value;

URL url(std::string_view text) { return *URL::parse(text); }

TEST(ZADURLAdditionsTest, EscapingAndSlashes) {
  EXPECT_EQ(zad_stringByEscapingAsURLParameter("a b&c=d/\xC3\xA9"), "a%20b%26c%3Dd%2F%C3%A9");
  EXPECT_EQ(zad_stringByEscapingAsURLParameter("!*'();:@&=+$,/?%#[]-._~"),
            "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D-._~");
  EXPECT_EQ(zad_stripTrailingSlash("a//"), "a/");
  EXPECT_TRUE(zad_isEquivalentToURLString("http://x/", "http://x"));
  EXPECT_FALSE(zad_isEquivalentToURLString("http://x//", "http://x"));
}

TEST(ZADURLAdditionsTest, AppendingKeepsTheLandingURLLast) {
  struct Case {
    const char* base;
    Dictionary parameters;
    const char* expected;
  };
  const Case cases[] = {
      {"http://h/p?a=1&adurl=http://l/x",
       {{"u", "x y"}},
       "http://h/p?a=1&u=x%20y&adurl=http://l/x"},
      {"http://h/p", {{"key", ""}}, "http://h/p?key"},
      {"http://h/p?", {{"k", 2}, {"m", true}}, "http://h/p??k=2&m=1"},
  };
  for (const Case& c : cases) {
    auto appended = zad_URLByAppendingQueryParameters(url(c.base), c.parameters);
    ASSERT_TRUE(appended) << c.base;
    EXPECT_EQ(appended->absoluteString(), c.expected);
  }
}

TEST(ZADURLAdditionsTest, ReadingQueries) {
  const URL u = url("http://h/p?a=1&b=%20x&a=2&c&a=x=y&a=%FF");  // %FF: no UTF-8
  EXPECT_EQ(zad_parameterValuesForKey(u, "a"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(zad_parameterValueForKey(u, "b"), " x");
  EXPECT_FALSE(zad_parameterValuesForKey(u, "A"));
  EXPECT_FALSE(zad_parameterValuesForKey(u, "c"));

  EXPECT_EQ(zad_dictionaryFromQueryParameters(url("http://h/?A=1;b=%20"), true),
            Dictionary({{"a", "1"}, {"b", " "}}));
  EXPECT_EQ(zad_dictionaryFromQueryParameters(url("http://h/?A=1&A=2&x=%FF"), false),
            Dictionary({{"A", "2"}}));
  EXPECT_EQ(zad_dictionaryFromQueryParameters(url("zmsg:log?string=hi"), false),
            Dictionary({{"string", "hi"}}));
}

TEST(ZADURLAdditionsTest, TicketsFragmentsHostsAndSchemes) {
  EXPECT_EQ(zad_impressionTicket(url("http://h/a/b/c")), "b/c");
  EXPECT_FALSE(zad_impressionTicket(url("http://h/a/b")));
  EXPECT_EQ(zad_absoluteStringWithoutFragmentComponent(url("http://h/p?q#frag")), "http://h/p?q");
  EXPECT_EQ(zad_absoluteStringWithoutFragmentComponent(url("http://h/p")), "http://h/p");
  const URL mixed = url("HTTP://Example.COM/");
  EXPECT_TRUE(zad_isHostEqualToString(mixed, "example.com", false));
  EXPECT_FALSE(zad_isHostEqualToString(mixed, "example.com", true));
  EXPECT_TRUE(zad_isSchemeEqualToString(mixed, "HTTP", true));
  EXPECT_TRUE(zad_isSchemeEqualToString(mixed, "http", false));
}

TEST(ZADTemplateAdditionsTest, ReplacesRemovesAndUnescapes) {
  struct Case {
    const char* text;
    const char* keyword;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"x@@@ver@@@y", "ver", "2@1", "x@2@1@y"},
      {"@a@-@b@-@a@", "a", "1", "1--1"},
      {"@@a@@", "a", "1", "@a@"},  // escaped ats are no placeholder
      {"v=@ver@", "ver", "", "v="},
      {"@ver@", "v.r", "9", "9"},  // the keyword is a pattern
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    zad_replaceAtQuotedKeywordPattern(text, c.keyword, zad_escapeAts(c.value));
    zad_removeAtQuotedKeywords(text);
    zad_unescapeAts(text);
    EXPECT_EQ(text, c.expected) << c.text;
  }
  std::string untouched = "@a@";
  zad_replaceAtQuotedKeywordPattern(untouched, "", "x");
  EXPECT_EQ(untouched, "@a@");
}

TEST(ZADStringAdditionsTest, NumbersDigestsAndOrientations) {
  const std::pair<double, const char*> trimmed[] = {{2.5, "2.5"},   {320.0, "320"}, {0.0, "0"},
                                                    {1.25, "1.25"}, {0.25, "0.25"}, {100, "100"}};
  for (auto [number, text] : trimmed) EXPECT_EQ(ZADTrimmedDoubleString(number), text);

  EXPECT_EQ(zad_MD5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_FALSE(zad_MD5String("\xff"));

  EXPECT_EQ(ZADInterfaceOrientationMaskFromString("any"), 30u);
  EXPECT_EQ(ZADInterfaceOrientationMaskFromString("portrait"), 6u);
  EXPECT_EQ(ZADInterfaceOrientationMaskFromString("landscape"), 24u);
  EXPECT_EQ(ZADInterfaceOrientationMaskFromString("Portrait"), 0u);
  EXPECT_EQ(ZADInterfaceOrientationMaskFromString(""), 0u);
  EXPECT_TRUE(ZADInterfaceOrientationMaskContainsOrientation(6, 1));
  EXPECT_FALSE(ZADInterfaceOrientationMaskContainsOrientation(6, 3));
  EXPECT_FALSE(ZADInterfaceOrientationMaskContainsOrientation(30, 64));

  const Dictionary d{{"n", 1}, {"s", "t"}};
  EXPECT_NE(zad_objectForKey(d, "n", &Value::isNumber), nullptr);
  EXPECT_EQ(zad_objectForKey(d, "s", &Value::isNumber), nullptr);
  EXPECT_EQ(zad_objectForKey(d, "x", &Value::isString), nullptr);
}

TEST(ZADJSONAdditionsTest, FragmentsInvalidObjectsAndSafeCopies) {
  EXPECT_EQ(*zad_decodedJSONObject("\"text\""), Value("text"));
  EXPECT_EQ(*zad_decodedJSONObject("12"), Value(12));
  EXPECT_FALSE(zad_decodedJSONObject("{").ok());

  const Dictionary withDate{
      {"when", platform::Date{5}}, {"n", 1}, {"inner", Dictionary{{"data", platform::Bytes{1}}}}};
  auto json = zad_JSONStringPretty(withDate, false);
  ASSERT_FALSE(json.ok());
  EXPECT_EQ(json.error().domain(), "com.zorova.ads.private");
  EXPECT_EQ(json.error().code(), 2);
  EXPECT_EQ(json.error().localizedDescription(), "Invalid JSON object.");

  const Dictionary safe = zad_JSONSafeDictionary(withDate);
  EXPECT_EQ(safe.find("when")->stringOr(""), platform::describe(Value(platform::Date{5})));
  EXPECT_EQ(*safe.find("n"), Value(1));
  EXPECT_TRUE((*safe.find("inner"))["data"].isString());
  EXPECT_EQ(*zad_JSONStringPretty(Dictionary{{"a", 1}}, false), "{\"a\":1}");
}

}  // namespace
