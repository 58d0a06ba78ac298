#include <gtest/gtest.h>

#include "toolbox/text/html_escaping.h"
#include "toolbox/text/json_scanner.h"
#include "toolbox/text/xml_escaping.h"

namespace {

TEST(HTMLEntitiesTest, TablesAreSortedByUnit) {
  auto sorted = [](auto& table) {
    return std::is_sorted(table.begin(), table.end(),
                          [](const HTMLEntity& a, const HTMLEntity& b) { return a.unit < b.unit; });
  };
  EXPECT_TRUE(sorted(kHTMLEntities));
  EXPECT_TRUE(sorted(kHTMLSpecialEntities));
  EXPECT_EQ(kHTMLEntities.front().text, "&quot;");
  EXPECT_EQ(kHTMLEntities.back().text, "&diams;");
}

TEST(HTMLEscapingTest, EscapingWithEachTable) {
  struct Case {
    std::string text;
    std::string ascii;
    std::string html;
  };
  const std::string eacute = "\xC3\xA9";
  const std::string euro = "\xE2\x82\xAC";
  const std::string zhong = "\xE4\xB8\xAD";
  const std::string smile = "\xF0\x9F\x98\x80";
  for (const Case& c : std::vector<Case>{
           {"", "", ""},
           {"plain", "plain", "plain"},
           {eacute, "&eacute;", eacute},
           {euro, "&euro;", "&euro;"},
           {zhong, "&#20013;", zhong},
           {smile, "&#55357;&#56832;", smile},
           {"a<b & \"c\" 'd'>", "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;",
            "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;"},
           {"\xC2\xA0\xE2\x80\x94", "&nbsp;&mdash;", "\xC2\xA0&mdash;"},
       }) {
    EXPECT_EQ(ztm_stringByEscapingForAsciiHTML(c.text), c.ascii) << c.text;
    EXPECT_EQ(ztm_stringByEscapingForHTML(c.text), c.html) << c.text;
  }
}

TEST(HTMLEscapingTest, Unescaping) {
  struct Case {
    const char* text;
    const char* unescaped;
  };
  for (const Case& c : std::vector<Case>{
           {"&#65; &#x41; &#X41; &amp;", "A A A &"},
           {"&#0; &#65535; &bogus; & &#x; &#; &#6a;", "&#0; &#65535; &bogus; & &#x; &#; &#6a;"},
           {"&#0000065;", "A"},
           {"&#0000000065;", "&#0000000065;"},
           {"&amp;lt;", "&lt;"},
           {"&AMP; &eacute;&euro;", "&AMP; \xC3\xA9\xE2\x82\xAC"},
           {"a&b;c&lt;", "a&b;c<"},
           {"&lt&gt;", "&lt>"},
           {"no entities", "no entities"},
           {"&#x4E2D;", "\xE4\xB8\xAD"},
       }) {
    EXPECT_EQ(ztm_stringByUnescapingFromHTML(c.text), c.unescaped) << c.text;
  }
}

TEST(XMLEscapingTest, SanitisingKeepsWhatXMLAllows) {
  struct Case {
    std::string text;
    std::string sanitized;
    std::string escaped;
  };
  for (const Case& c : std::vector<Case>{
           {"", "", ""},
           {"a\fb\tc\vd\n\r", "ab\tcd\n\r", "ab\tcd\n\r"},
           {"<'&\">", "<'&\">", "&lt;&apos;&amp;&quot;&gt;"},
           {"x\xF0\x9F\x98\x80y\xEF\xBF\xBE\xEF\xBF\xBFz", "xyz", "xyz"},
           {std::string("n\0ul", 4), "nul", "nul"},
           {"\xC3\xA9", "\xC3\xA9", "\xC3\xA9"},
       }) {
    EXPECT_EQ(ztm_stringBySanitizingToXMLSpec(c.text), c.sanitized) << c.text;
    EXPECT_EQ(ztm_stringBySanitizingAndEscapingForXML(c.text), c.escaped) << c.text;
  }
}

TEST(JSONScannerTest, CutsOneObjectOrArrayOut) {
  platform::Scanner scanner("  \n{\"a\": \"x\\\"}\", \"b\": [1, {}]} tail");
  std::string text;
  ASSERT_TRUE(ztm_scanJSONObjectString(scanner, &text));
  EXPECT_EQ(text, "{\"a\": \"x\\\"}\", \"b\": [1, {}]}");
  EXPECT_EQ(scanner.scanLocation(), 3 + text.size());

  platform::Scanner array(" [\"\xC3\xA9]\", [2]] [3]");
  ASSERT_TRUE(ztm_scanJSONArrayString(array, &text));
  EXPECT_EQ(text, "[\"\xC3\xA9]\", [2]]");
  EXPECT_EQ(array.scanLocation(), 12u);  // UTF-16 units
  ASSERT_TRUE(ztm_scanJSONArrayString(array, nullptr));
  EXPECT_TRUE(array.isAtEnd());
}

TEST(JSONScannerTest, FailsWhereTheTextDoesNotFit) {
  struct Case {
    const char* text;
    size_t location;
  };
  for (const Case& c : std::vector<Case>{
           {"x{}", 0},
           {"  x{}", 2},
           {"{\"a\": 1", 7},
           {"{\"}\"", 4},
           {"", 0},
           {"   ", 3},
           {"{\"\\", 3},
       }) {
    platform::Scanner scanner(c.text);
    std::string text = "untouched";
    EXPECT_FALSE(ztm_scanJSONObjectString(scanner, &text)) << c.text;
    EXPECT_EQ(scanner.scanLocation(), c.location) << c.text;
    EXPECT_EQ(text, "untouched");
  }
  platform::Scanner noSkipping(" {}");
  noSkipping.setCharactersToBeSkipped(nullptr);
  EXPECT_FALSE(ztm_scanJSONObjectString(noSkipping, nullptr));
}

}  // namespace
