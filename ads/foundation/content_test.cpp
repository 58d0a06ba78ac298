#include "ads/foundation/content.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ads/foundation/binary_heap.h"
#include "ads/foundation/character_sets.h"
#include "ads/foundation/murmur_hash.h"
#include "ads/foundation/string_encoding.h"
#include "platform/foundation/crypto.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/test_app.h"

namespace {

constexpr uint64_t M = 0x4000FFFF;
constexpr uint64_t B = 0x1001FFF;

uint32_t murmur(const std::string& text, uint32_t seed = 0) {
  return ZADMurmurHash3(text.data(), text.size(), seed);
}

// The fingerprint as defined, computed the slow way: every shingle's hash as the full sum
// Σ term(t_j)·B^(L-1-j) mod M, the K largest distinct (token count, hash) pairs, their folded
// token bytes digested in ascending order.
std::string referenceFingerprint(const std::vector<std::vector<std::string>>& paragraphs,
                                 size_t L = 6, size_t K = 10) {
  auto term = [](const std::string& token) {
    const int64_t h = static_cast<int32_t>(murmur(token));
    return (0x7FFFFFFFull + static_cast<uint64_t>(h)) % M;
  };
  struct Shingle {
    size_t count;
    uint64_t hash;
    std::vector<std::string> tokens;
  };
  std::vector<Shingle> all;
  for (const auto& tokens : paragraphs) {
    if (tokens.empty()) continue;
    const size_t n = tokens.size();
    const size_t width = std::min(L, n);
    for (size_t start = 0; start == 0 || start + width <= n; ++start) {
      uint64_t hash = 0;
      for (size_t j = 0; j < width; ++j) {
        uint64_t power = 1;
        for (size_t p = 0; p < width - 1 - j; ++p) power = power * B % M;
        hash = (hash + term(tokens[start + j]) * power) % M;
      }
      all.push_back({width, hash, {tokens.begin() + start, tokens.begin() + start + width}});
      if (n < L) break;
    }
  }
  auto less = [](const Shingle& a, const Shingle& b) {
    return a.count != b.count ? a.count < b.count : a.hash < b.hash;
  };
  std::sort(all.begin(), all.end(), less);
  all.erase(std::unique(all.begin(), all.end(),
                        [](const Shingle& a, const Shingle& b) {
                          return a.count == b.count && a.hash == b.hash;
                        }),
            all.end());
  if (all.size() > K) all.erase(all.begin(), all.end() - K);
  platform::Bytes buffer;
  for (const Shingle& shingle : all) {
    std::string folded;
    for (const std::string& token : shingle.tokens) {
      const uint32_t h = murmur(token);
      folded.push_back(static_cast<char>(h ^ (h >> 8) ^ (h >> 16) ^ (h >> 24)));
    }
    const platform::Bytes digest = platform::md5(folded);
    buffer.insert(buffer.end(), digest.begin(), digest.begin() + 4);
  }
  return buffer.empty()
             ? ""
             : ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().encode(buffer);
}

class ZADContentTest : public ::testing::Test {
 protected:
  void set(const char* key, platform::Value value) {
    (void)platform::UserDefaults::standard()->setObject(std::move(value), key);
  }
  // The shared sets go back to the defaults for the tests that follow.
  ~ZADContentTest() override {
    auto defaults = platform::UserDefaults::standard();
    defaults->removeObjectForKey("/zorova/ads/character_delimited_unicode_range");
    defaults->removeObjectForKey("/zorova/ads/space_delimited_unicode_range");
    ZADCharacterSets::sharedInstance().updateCharacterSets();
  }

  platform::testing::TestApp app_;
};

TEST(ZADMurmurHash3Test, PublishedValues) {
  EXPECT_EQ(murmur(""), 0u);
  EXPECT_EQ(murmur("", 1), 0x514E28B7u);
  EXPECT_EQ(murmur("", 0xffffffff), 0x81F16F39u);
  EXPECT_EQ(murmur(std::string(4, '\0')), 0x2362F9DEu);
  EXPECT_EQ(murmur("aaaa", 0x9747b28c), 0x5A97808Au);
  EXPECT_EQ(murmur("abc"), 0xB3DD93FAu);
  EXPECT_EQ(murmur("Hello, world!", 0x9747b28c), 0x24884CBAu);
  EXPECT_EQ(murmur("The quick brown fox jumps over the lazy dog", 0x9747b28c), 0x2FA826CDu);
}

TEST_F(ZADContentTest, FingerprintMatchesTheDefinitionAndIgnoresCase) {
  const std::string text =
      "Markets rallied today as investors welcomed the news from the central bank\n"
      "short\n"
      "Weather: sunny, with a light breeze in the afternoon and clear skies tonight";
  const std::vector<std::vector<std::string>> paragraphs = {
      {"markets", "rallied", "today", "as", "investors", "welcomed", "the", "news", "from", "the",
       "central", "bank"},
      {"weather", "sunny", "with", "a", "light", "breeze", "in", "the", "afternoon", "and", "clear",
       "skies", "tonight"},
  };
  ZADContent content(3);
  content.updateContentWithText(text);
  EXPECT_EQ(content.fingerprint(), referenceFingerprint(paragraphs));
  EXPECT_EQ(content.fingerprint().size(), 56u);
  EXPECT_TRUE(content.fingerprint().ends_with("=="));
  // Paragraph lengths count ("short" does not), plus the age.
  EXPECT_EQ(content.score(), int64_t(74 + 76 + 3));

  std::string upper = text;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  ZADContent shouting(3);
  shouting.updateContentWithText(upper);
  EXPECT_EQ(shouting.fingerprint(), content.fingerprint());
}

TEST_F(ZADContentTest, ShingleCountsAndRanking) {
  struct Case {
    std::vector<std::string> tokens;
    size_t shingles;
  };
  const Case cases[] = {
      {{"a", "b", "c", "d", "e", "f"}, 1},
      {{"a", "b", "c", "d", "e", "f", "g"}, 2},
      {{"a", "b", "c"}, 1},
      {{}, 0},
  };
  for (const Case& c : cases) {
    ZADContent content(1);
    content.selectShinglesFromTokens(c.tokens);
    EXPECT_EQ(content.shingleCount(), c.shingles) << c.tokens.size();
    EXPECT_EQ(content.shingleHash(), referenceFingerprint({c.tokens}));
  }

  // With room for one shingle, a full-length one outranks a shorter one whatever their hashes.
  set("/zorova/ads/maximum_shingle_count", 1);
  ZADContent content(1);
  content.updateContentWithText("one two three four five six\nseven eight nine");
  EXPECT_EQ(content.fingerprint(),
            referenceFingerprint({{"one", "two", "three", "four", "five", "six"}}, 6, 1));
  // The same shingle again is kept once.
  ZADContent repeated(1);
  repeated.selectShinglesFromTokens({"x", "y"});
  repeated.selectShinglesFromTokens({"x", "y"});
  EXPECT_EQ(repeated.shingleCount(), 1u);
}

TEST_F(ZADContentTest, ShortTextsScoreButGiveNoFingerprintAndPenaltiesFreezeAContent) {
  ZADContent content(7);
  content.updateContentWithText("hi\nyo\n");
  EXPECT_EQ(content.score(), 7);
  EXPECT_EQ(content.fingerprint(), "");
  content.updateContentWithText("");
  EXPECT_EQ(content.score(), 7);

  set("/zorova/ads/content_age_weight", 50);
  ZADContent served(1);
  served.updateContentWithText("a\n");
  ASSERT_EQ(served.score(), 50);
  served.deductServedPenalty();
  EXPECT_EQ(served.score(), -50);
  served.updateContentWithText("plenty of words on this line to make shingles from it");
  EXPECT_EQ(served.score(), -50);
  EXPECT_EQ(served.fingerprint(), "");
}

TEST_F(ZADContentTest, TokensFollowTheCharacterSets) {
  // A comma splits and is dropped; each ideograph stands alone, also inside a run of letters.
  ZADContent content(1);
  content.updateContentWithText("abc,def\u4e2d\u6587ghi jkl");
  EXPECT_EQ(content.fingerprint(),
            referenceFingerprint({{"abc", "def", "\u4e2d", "\u6587", "ghi", "jkl"}}));

  // Lower-casing is the same everywhere (no Turkish dotless i); characters beyond U+FFFF are
  // two code units that separate tokens, and count two towards a paragraph's length.
  ZADContent beyond(1);
  beyond.updateContentWithText("\u00c9COLE \u0130STANBUL\U0001F600x");
  EXPECT_EQ(beyond.fingerprint(), referenceFingerprint({{"\u00e9cole", "i\u0307stanbul", "x"}}));
  ZADContent emoji(1);
  emoji.updateContentWithText("\U0001F600\U0001F600\U0001F600");
  EXPECT_EQ(emoji.score(), 6 + 1);
  ZADContent malformed(1);
  malformed.updateContentWithText("abc\xff\xfe def ghi");
  EXPECT_EQ(malformed.fingerprint(), referenceFingerprint({{"abc", "def", "ghi"}}));

  // A server list with a bad element is void: the defaults apply. A valid one replaces them.
  set("/zorova/ads/character_delimited_unicode_range", "[[97, 1], \"x\"]");
  set("/zorova/ads/space_delimited_unicode_range", "[[97, 26]]");
  ZADCharacterSets::sharedInstance().updateCharacterSets();
  EXPECT_EQ(*ZADCharacterSets::sharedInstance().characterDelimitedSet(),
            *ZADDefaultCharacterDelimitedSet());
  ZADContent lettersOnly(1);
  lettersOnly.updateContentWithText("abc1def \u4e2d xyz");
  EXPECT_EQ(lettersOnly.fingerprint(), referenceFingerprint({{"abc", "def", "\u4e2d", "xyz"}}));

  EXPECT_EQ(ZADCharacterSetFromRangeList("[]"), ZADCharacterSet());
  const auto set = ZADCharacterSetFromRangeList("[[-5, 10], [65530, 100], [0, -3]]");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->count(), 5u + 6u);
  for (const char* bad : {"", "{}", "[[1]]", "[[1, 2, 3]]", "[[1, \"2\"]]", "[1, 2]", "[[1,2],"}) {
    EXPECT_FALSE(ZADCharacterSetFromRangeList(bad)) << bad;
  }
  EXPECT_TRUE(ZADDefaultSpaceDelimitedSet()->test(u'\u00e9'));  // letter
  EXPECT_TRUE(ZADDefaultSpaceDelimitedSet()->test(u'\u0301'));  // mark
  EXPECT_TRUE(ZADDefaultSpaceDelimitedSet()->test(u'7'));
  EXPECT_FALSE(ZADDefaultSpaceDelimitedSet()->test(u'-'));
  EXPECT_FALSE(ZADDefaultSpaceDelimitedSet()->test(0xD800));
}

TEST_F(ZADContentTest, WordsOfEveryLengthWhereverTheyEnd) {
  // Words of 1 to 19 letters, mixed case, each ending at a space, at a comma, at other
  // characters that go on with the word, and at the end of the paragraph.
  const std::string letters = "AbCdEfGhIjKlMnOpQrStU";
  std::string text;
  std::vector<std::vector<std::string>> paragraphs;
  for (size_t length = 1; length < 20; ++length) {
    const std::string word = letters.substr(0, length);
    std::string lower = word;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    text += "start " + word + " " + word + ",x " + word + "\u00c9t " + word + "\n";
    paragraphs.push_back({"start", lower, lower, "x", lower + "\u00e9t", lower});
  }
  set("/zorova/ads/maximum_shingle_count", 100);
  ZADContent content(1);
  content.updateContentWithText(text);
  EXPECT_EQ(content.fingerprint(), referenceFingerprint(paragraphs, 6, 100));
}

TEST_F(ZADContentTest, SettingsBelowOneTakeTheirDefaults) {
  set("/zorova/ads/maximum_shingle_count", 0);
  set("/zorova/ads/shingle_length", -2);
  ZADContent content(1);
  content.updateContentWithText(
      "one two three four five six seven eight nine ten eleven twelve thirteen fourteen");
  EXPECT_EQ(content.shingleCount(), 9u);
  EXPECT_EQ(content.fingerprint(),
            referenceFingerprint({{"one", "two", "three", "four", "five", "six", "seven", "eight",
                                   "nine", "ten", "eleven", "twelve", "thirteen", "fourteen"}}));
}

TEST(ZADBinaryHeapTest, OrdersByTheComparator) {
  ZADBinaryHeap<int> heap;
  EXPECT_EQ(heap.minimum(), nullptr);
  EXPECT_FALSE(heap.removedMinimum());
  EXPECT_TRUE(heap.sortedObjects().empty());
  for (int value : {5, 1, 4, 1, 3}) heap.addObject(value);
  EXPECT_EQ(*heap.minimum(), 1);
  EXPECT_TRUE(heap.containsObject(4));
  EXPECT_FALSE(heap.containsObject(2));
  EXPECT_EQ(heap.sortedObjects(), (std::vector<int>{1, 1, 3, 4, 5}));
  EXPECT_EQ(heap.removedMinimum(), 1);
  EXPECT_EQ(heap.count(), 4u);

  // Equal under the comparator counts as contained.
  ZADBinaryHeap<int> byTens(
      [](const int& a, const int& b) { return std::weak_order(a / 10, b / 10); });
  byTens.addObject(42);
  EXPECT_TRUE(byTens.containsObject(47));
}

}  // namespace
