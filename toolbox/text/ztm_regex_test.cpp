#include "toolbox/text/ztm_regex.h"

#include <gtest/gtest.h>

namespace {

using Groups = std::vector<std::optional<std::string>>;

// "match:text" or "gap:text" for each segment.
std::vector<std::string> segmentsOf(const std::shared_ptr<ZSDK_ZTMRegexEnumerator>& enumerator) {
  std::vector<std::string> out;
  if (!enumerator) return out;
  for (const auto& segment : enumerator->allObjects()) {
    out.push_back((segment->isMatch() ? "match:" : "gap:") + segment->string().value_or("(nil)"));
  }
  return out;
}

TEST(ZTMRegexTest, CreationAndItsErrors) {
  std::optional<platform::Error> error = platform::Error("stale", 1);
  EXPECT_EQ(ZSDK_ZTMRegex::regexWithPattern(std::nullopt, 0, &error), nullptr);
  EXPECT_FALSE(error);
  EXPECT_EQ(ZSDK_ZTMRegex::regexWithPattern("", 0, &error), nullptr);
  EXPECT_FALSE(error);
  EXPECT_EQ(ZSDK_ZTMRegex::regexWithPattern("a(b", 0, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "com.zorova.mactoolbox.RegexDomain");
  EXPECT_EQ(error->code(), -100);
  EXPECT_EQ(error->userInfo()["pattern"], platform::Value("a(b"));
  EXPECT_FALSE(error->userInfo()["patternError"].stringOr("").empty());

  auto regex = ZSDK_ZTMRegex::regexWithPattern("(a)(b)?", kZTMRegexOptionIgnoreCase);
  ASSERT_TRUE(regex);
  EXPECT_EQ(regex->subPatternCount(), 2u);
  EXPECT_NE(regex->description().find("\"(a)(b)?\", rawNumSubPatterns=2, options=( IgnoreCase ) }"),
            std::string::npos);
  EXPECT_NE(ZSDK_ZTMRegex::regexWithPattern("a")->description().find("( None(Default) ) }"),
            std::string::npos);
  EXPECT_FALSE(regex->errorMessage(REG_NOMATCH).empty());
}

TEST(ZTMRegexTest, EscapingAPattern) {
  EXPECT_EQ(ZSDK_ZTMRegex::escapedPatternForString("a.b*c"), "a\\.b\\*c");
  EXPECT_EQ(ZSDK_ZTMRegex::escapedPatternForString("]}"), "]}");
  EXPECT_EQ(ZSDK_ZTMRegex::escapedPatternForString("$()*+.?[\\^{|"),
            "\\$\\(\\)\\*\\+\\.\\?\\[\\\\\\^\\{\\|");
  EXPECT_EQ(ZSDK_ZTMRegex::escapedPatternForString(std::nullopt), std::nullopt);
  const std::string text = "1+1=2 (really?) $5 [x] a|b ^c \\d {e}";
  EXPECT_TRUE(ztm_matchesPattern(text, *ZSDK_ZTMRegex::escapedPatternForString(text)));
}

TEST(ZTMRegexTest, Matching) {
  EXPECT_TRUE(ztm_matchesPattern("ab", "ab"));
  EXPECT_FALSE(ztm_matchesPattern("abc", "ab"));
  EXPECT_TRUE(ztm_subStringMatchesPattern("abc", "ab"));
  EXPECT_FALSE(ztm_subStringMatchesPattern("xyz", "ab"));
  EXPECT_TRUE(
      ZSDK_ZTMRegex::regexWithPattern("ABC", kZTMRegexOptionIgnoreCase)->matchesString("abc"));
  EXPECT_FALSE(ztm_matchesPattern("abc", "ABC"));
  EXPECT_EQ(ztm_subPatternsOfPattern("ab", "(a)(x)?b"), (Groups{"ab", "a", std::nullopt}));
  EXPECT_EQ(ztm_subPatternsOfPattern("abc", "(a)(x)?b"), std::nullopt);
  EXPECT_EQ(ztm_firstSubStringMatchedByPattern("x12y345", "[0-9]+"), "12");
  EXPECT_EQ(ztm_firstSubStringMatchedByPattern("xy", "[0-9]+"), std::nullopt);
  EXPECT_EQ(ztm_allSubstringsMatchedByPattern("x1y22z", "[0-9]+"),
            (std::vector<std::string>{"1", "22"}));
  // Texts are searched to their end, past any NUL.
  EXPECT_TRUE(ztm_subStringMatchesPattern(std::string("a\0b", 3), "b"));
  // Newline-sensitive by default: the dot stops at a line break and ^ matches after one.
  EXPECT_FALSE(ztm_matchesPattern("a\nb", "a.b"));
  EXPECT_TRUE(ZSDK_ZTMRegex::regexWithPattern("a.b", kZTMRegexOptionSupressNewlineSupport)
                  ->matchesString("a\nb"));
  EXPECT_EQ(ztm_allSubstringsMatchedByPattern("ab\ncd", "^[a-z]"),
            (std::vector<std::string>{"a", "c"}));
}

TEST(ZTMRegexTest, EnumeratingSegments) {
  EXPECT_EQ(segmentsOf(ztm_segmentEnumeratorForPattern("x1y22z", "[0-9]+")),
            (std::vector<std::string>{"gap:x", "match:1", "gap:y", "match:22", "gap:z"}));
  EXPECT_EQ(segmentsOf(ztm_matchSegmentEnumeratorForPattern("x1y22z", "[0-9]+")),
            (std::vector<std::string>{"match:1", "match:22"}));
  EXPECT_EQ(segmentsOf(ztm_segmentEnumeratorForPattern("12", "[0-9]")),
            (std::vector<std::string>{"match:1", "match:2"}));
  EXPECT_EQ(segmentsOf(ztm_segmentEnumeratorForPattern("abc", "[0-9]")),
            (std::vector<std::string>{"gap:abc"}));
  EXPECT_EQ(segmentsOf(ztm_segmentEnumeratorForPattern("", "[0-9]")), std::vector<std::string>{});
  // ^ matches only at the text's start, unless each search counts as a start.
  EXPECT_EQ(segmentsOf(ztm_matchSegmentEnumeratorForPattern("aaa", "^a")),
            (std::vector<std::string>{"match:a"}));
  auto enumerator = ztm_matchSegmentEnumeratorForPattern("aaa", "^a");
  enumerator->treatStartOfNewSegmentAsBeginningOfString(true);
  EXPECT_EQ(segmentsOf(enumerator), (std::vector<std::string>{"match:a", "match:a", "match:a"}));
}

TEST(ZTMRegexTest, EmptyMatchesAlwaysMoveOn) {
  EXPECT_EQ(segmentsOf(ztm_segmentEnumeratorForPattern("ab", "x*")),
            (std::vector<std::string>{"match:", "gap:a", "match:", "gap:b", "match:"}));
  EXPECT_EQ(segmentsOf(ztm_matchSegmentEnumeratorForPattern("a1\xC3\xA9", "[0-9]*")),
            (std::vector<std::string>{"match:", "match:1", "match:", "match:"}));
  EXPECT_EQ(ztm_stringByReplacingMatchesOfPattern("ab", "x*", "-"), "-a-b-");
}

TEST(ZTMRegexTest, SegmentsGiveTheirGroups) {
  auto enumerator = ztm_matchSegmentEnumeratorForPattern("k=v;", "([a-z])=([a-z])(x)?");
  auto segment = enumerator->nextObject();
  ASSERT_TRUE(segment);
  EXPECT_EQ(segment->subPatternString(1), "k");
  EXPECT_EQ(segment->subPatternString(2), "v");
  EXPECT_EQ(segment->subPatternString(3), std::nullopt);
  EXPECT_EQ(segment->subPatternString(4), std::nullopt);
  EXPECT_NE(
      segment->description().find("isMatch=YES, subPatterns=(\"k=v\", \"k\", \"v\", \"\" ) }"),
      std::string::npos);
  EXPECT_EQ(enumerator->nextObject(), nullptr);
  // A boundary inside a character makes no text.
  auto cut = ztm_matchSegmentEnumeratorForPattern("\xC3\xA9", "\xC3");
  auto half = cut->nextObject();
  ASSERT_TRUE(half);
  EXPECT_EQ(half->string(), std::nullopt);
}

TEST(ZTMRegexTest, ReplacingWithBackReferences) {
  struct Case {
    const char* text;
    const char* pattern;
    const char* replacement;
    const char* expected;
  };
  for (const Case& c : std::vector<Case>{
           {"a1b22", "[0-9]+", "<\\0>", "a<1>b<22>"},
           {"ab", "(a)(b)", "\\2\\1", "ba"},
           {"a1b22", "[0-9]+", "", "ab"},
           {"ab", "(a)(b)", "\\9|\\1", "|a"},
           {"ab", "(a)(x)?b", "[\\2]", "[]"},
           {"ab", "(a)(b)", "\\\\1", "\\\\1"},
           {"ab", "(a)(b)", "\\\\\\1", "\\\\a"},
           {"xyz", "[0-9]", "!", "xyz"},
           {"", "a", "b", ""},
       }) {
    EXPECT_EQ(ztm_stringByReplacingMatchesOfPattern(c.text, c.pattern, c.replacement), c.expected)
        << c.text << " " << c.pattern << " " << c.replacement;
  }
  EXPECT_EQ(
      ZSDK_ZTMRegex::regexWithPattern("a")->stringByReplacingMatchesInString(std::nullopt, "b"),
      std::nullopt);
}

}  // namespace
