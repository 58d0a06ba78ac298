#include "platform/foundation/percent_encoding.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

TEST(PercentEncodingTest, EachSetKeepsOnlyItsCharacters) {
  const std::string text = "a b&c=d/e?f#g%h+i:j@k;l[m]\"\\\xC3\xA9";
  const std::pair<CharacterSet, const char*> cases[] = {
      {kURLUnreservedAllowed, "a%20b%26c%3Dd%2Fe%3Ff%23g%25h%2Bi%3Aj%40k%3Bl%5Bm%5D%22%5C%C3%A9"},
      {kURLUserAllowed, "a%20b&c=d%2Fe%3Ff%23g%25h+i%3Aj%40k;l%5Bm%5D%22%5C%C3%A9"},
      {kURLHostAllowed, "a%20b&c=d%2Fe%3Ff%23g%25h+i%3Aj%40k;l%5Bm%5D%22%5C%C3%A9"},
      {kURLPathAllowed, "a%20b&c=d/e%3Ff%23g%25h+i:j@k;l%5Bm%5D%22%5C%C3%A9"},
      {kURLQueryAllowed, "a%20b&c=d/e?f%23g%25h+i:j@k;l%5Bm%5D%22%5C%C3%A9"},
      {kURLQueryValueAllowed, "a%20b%26c%3Dd/e?f%23g%25h%2Bi:j@k;l%5Bm%5D%22%5C%C3%A9"},
      {kURLFragmentAllowed, "a%20b&c=d/e?f%23g%25h+i:j@k;l%5Bm%5D%22%5C%C3%A9"},
  };
  for (const auto& [set, expected] : cases) EXPECT_EQ(percentEncode(text, set), expected);
  // Escaping one query argument leaves letters, digits and "-._~" alone.
  EXPECT_EQ(percentEncode("a b&c=d/\xC3\xA9-._~", kURLUnreservedAllowed),
            "a%20b%26c%3Dd%2F%C3%A9-._~");
  // "%" is escaped even by a set that names it, so decoding always gives the text back.
  EXPECT_EQ(percentEncode("%", CharacterSet().adding("%")), "%25");
}

TEST(PercentEncodingTest, DecodesValidEscapesOnly) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"a%20b", "a b"},
      {"a+b", "a+b"},
      {"%C3%A9%c3%a9", "\xC3\xA9\xC3\xA9"},
      {"", ""},
      {"%zz", std::nullopt},
      {"%2", std::nullopt},
      {"%", std::nullopt},
      {"a%", std::nullopt},
      {"%C3", std::nullopt},        // not UTF-8
      {"%ED%A0%80", std::nullopt},  // a surrogate
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(percentDecode(text), expected) << text;
  EXPECT_EQ(percentDecodeBytes("%C3%00"), std::string("\xC3\0", 2));
  EXPECT_EQ(percentDecodeBytes("%G0"), std::nullopt);
}

TEST(PercentEncodingTest, AnyBytesRoundTrip) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<size_t>(random() % 40), '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::string encoded = percentEncode(bytes, kURLPathAllowed);
    EXPECT_EQ(percentDecodeBytes(encoded), bytes);
  }
}

}  // namespace
}  // namespace platform
