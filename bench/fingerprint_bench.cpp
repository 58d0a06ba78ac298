// fingerprint: the content fingerprint of 1 MB of text (lines cut into paragraphs, lower-cased,
// tokenized, six-word shingles hashed and the best ten digested) vs hashing the same shingles
// with a plain MurmurHash3 loop: one hash over each shingle's text, keeping the largest.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ads/foundation/content.h"
#include "ads/foundation/murmur_hash.h"
#include "bench/bench_report.h"
#include "platform/testing/test_app.h"

namespace {

constexpr size_t kTextSize = 1 << 20;
constexpr size_t kShingleLength = 6;

// Lines of 8 to 30 words from a small vocabulary, chosen by a fixed generator.
std::string sampleText() {
  static const char* const kWords[] = {
      "the",     "market",  "rallied", "Today",   "as",     "investors", "welcomed", "news",
      "from",    "central", "bank",    "weather", "sunny",  "with",      "light",    "breeze",
      "city",    "council", "park",    "river",   "budget", "plans",     "season",   "game",
      "players", "coach",   "Win",     "score",   "music",  "festival",  "crowd",    "night"};
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1103515245 + 12345; };
  std::string text;
  while (text.size() < kTextSize) {
    const int words = 8 + (next() >> 16) % 23;
    for (int i = 0; i < words; ++i) {
      text += kWords[(next() >> 16) % std::size(kWords)];
      text += (next() >> 16) % 9 == 0 ? ", " : " ";
    }
    text += "\n";
  }
  return text;
}

// The text of every run of six words in each line, as views into the text.
std::vector<std::string_view> shingleTexts(const std::string& text) {
  std::vector<std::string_view> shingles;
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    const size_t lineEnd = text.find('\n', lineStart);
    std::vector<std::pair<size_t, size_t>> words;  // begin, end
    for (size_t i = lineStart; i < lineEnd;) {
      while (i < lineEnd && !std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
      const size_t begin = i;
      while (i < lineEnd && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
      if (i > begin) words.emplace_back(begin, i);
    }
    for (size_t w = 0; w + kShingleLength <= words.size(); ++w) {
      const size_t begin = words[w].first, end = words[w + kShingleLength - 1].second;
      shingles.emplace_back(text.data() + begin, end - begin);
    }
    lineStart = lineEnd + 1;
  }
  return shingles;
}

}  // namespace

int main() {
  platform::testing::TestApp app("com.example.fingerprint");
  const std::string text = sampleText();
  const std::vector<std::string_view> shingles = shingleTexts(text);
  size_t sink = 0;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] {
        ZADContent content(1);
        content.updateContentWithText(text);
        sink += content.fingerprint().size();
      },
      [&] {
        uint32_t largest = 0;
        for (std::string_view shingle : shingles) {
          largest = std::max(largest, ZADMurmurHash3(shingle.data(), shingle.size(), 0));
        }
        sink += largest;
      });
  bench::report("fingerprint", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
