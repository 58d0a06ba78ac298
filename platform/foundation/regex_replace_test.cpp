#include "platform/foundation/regex_replace.h"

#include <gtest/gtest.h>

namespace {

using platform::Regex;

TEST(RegexReplaceTest, ReplacesEveryMatchFromItsGroups) {
  auto swapped = platform::replaceMatches("(\\w)(\\d)?", "a1 b c3", [](const Regex::Groups& g) {
    return (g[2] ? *g[2] : std::string("-")) + *g[1];
  });
  ASSERT_TRUE(swapped.ok());
  EXPECT_EQ(*swapped, "1a -b 3c");

  // Look-behind, which POSIX expressions lack.
  auto lone = platform::replaceMatches("(?<!@)@(?!@)", "a@b@@c",
                                       [](const Regex::Groups&) { return std::string("#"); });
  ASSERT_TRUE(lone.ok());
  EXPECT_EQ(*lone, "a#b@@c");

  EXPECT_FALSE(platform::replaceMatches("(", "x", [](const Regex::Groups&) { return ""; }).ok());
}

}  // namespace
