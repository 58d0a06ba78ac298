#include "platform/foundation/regex.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(RegexTest, MatchesFromTheStartAndTellsWholeMatches) {
  struct Case {
    std::string pattern;
    bool caseInsensitive;
    std::string text;
    bool atStart;
    bool whole;
  };
  const std::vector<Case> cases = {
      {"ab", false, "abc", true, false},
      {"ab", false, "xab", false, false},  // never searched for further on
      {"abc$", false, "abc", true, true},
      {"abc$", false, "abc\n", false, false},   // "$" is the very end
      {"a.*", false, "a\xff\xfe", true, true},  // bytes, not necessarily UTF-8
      {"HOST", true, "host", true, true},
      {"HOST", false, "host", false, false},
      {"a|ab", false, "ab", true, false},  // the first alternative that matches
  };
  for (const Case& c : cases) {
    Result<Regex> regex = Regex::compile(c.pattern, {.caseInsensitive = c.caseInsensitive});
    ASSERT_TRUE(regex.ok()) << c.pattern;
    EXPECT_EQ(regex->matchAtStart(c.text).has_value(), c.atStart) << c.pattern << " " << c.text;
    EXPECT_EQ(regex->matchesWhole(c.text), c.whole) << c.pattern << " " << c.text;
  }
}

TEST(RegexTest, GroupsThatTookNoPartAreAbsent) {
  Result<Regex> regex = Regex::compile("(a)?(b)(c)?(d)?");
  ASSERT_TRUE(regex.ok());
  std::optional<Regex::Groups> groups = regex->matchAtStart("bc");
  ASSERT_TRUE(groups);
  EXPECT_EQ(*groups, (Regex::Groups{"bc", std::nullopt, "b", "c", std::nullopt}));
}

TEST(RegexTest, ABadPatternIsAnError) {
  Result<Regex> regex = Regex::compile("(unclosed");
  ASSERT_FALSE(regex.ok());
  EXPECT_EQ(regex.error().domain(), kRegexErrorDomain);
  EXPECT_FALSE(regex.error().localizedDescription().empty());
}

}  // namespace
}  // namespace platform
