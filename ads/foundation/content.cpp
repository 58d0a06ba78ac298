#include "ads/foundation/content.h"

#include <glib.h>

#include <array>
#include <memory>

#include "ads/foundation/murmur_hash.h"
#include "ads/foundation/string_encoding.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/utf16.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr uint64_t kDefaultMaximumShingleCount = 10;
constexpr uint64_t kDefaultShingleLength = 6;
constexpr char16_t kCapitalIWithDotAbove = 0x0130;
constexpr char16_t kCombiningDotAbove = 0x0307;

// The setting's whole value when the key is set, else the current value.
template <typename T>
void readSetting(const char* key, T& field) {
  auto defaults = platform::UserDefaults::standard();
  if (!defaults->objectForKey(key).isNull()) field = static_cast<T>(defaults->integerForKey(key));
}

// The simple lower-case mapping of every first-plane character, computed once.
const std::array<char16_t, 0x10000>& lowercaseTable() {
  static const auto table = [] {
    auto built = std::make_unique<std::array<char16_t, 0x10000>>();
    for (gunichar c = 0; c < built->size(); ++c) {
      const gunichar lower =
          platform::isSurrogate(static_cast<char16_t>(c)) ? c : g_unichar_tolower(c);
      (*built)[c] = lower <= 0xFFFF ? static_cast<char16_t>(lower) : static_cast<char16_t>(c);
    }
    return built;
  }();
  return *table;
}

void appendCodePoint(std::u16string& out, char32_t c) {
  if (c <= 0xFFFF) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Lower-cases as the en_US locale does: every character by its own mapping (no locale-dependent
// rules), with capital I with dot above becoming i and a combining dot.
void lowercase(std::u16string_view text, std::u16string& out) {
  const auto& table = lowercaseTable();
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      appendCodePoint(out, g_unichar_tolower(c));
      ++i;
    } else if (unit == kCapitalIWithDotAbove) {
      out.push_back(u'i');
      out.push_back(kCombiningDotAbove);
    } else {
      out.push_back(table[unit]);
    }
  }
}

// UTF-8 of a run of code units; an unpaired surrogate becomes U+FFFD.
void appendUTF8(std::string& out, std::u16string_view units) {
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (platform::isSurrogate(static_cast<char16_t>(c))) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

uint32_t tokenHash(std::string_view token) { return ZADMurmurHash3(token.data(), token.size(), 0); }

uint64_t powerModulo(uint64_t base, uint64_t exponent, uint64_t modulus) {
  uint64_t result = 1 % modulus;
  base %= modulus;
  while (exponent > 0) {
    if (exponent & 1) result = result * base % modulus;
    base = base * base % modulus;
    exponent >>= 1;
  }
  return result;
}

// Fewer tokens first, then smaller hashes.
std::weak_ordering compareTuples(const ZADShingleHashTuple& a, const ZADShingleHashTuple& b) {
  if (auto order = a.shingle.size() <=> b.shingle.size(); order != 0) return order;
  return a.hashValue <=> b.hashValue;
}

}  // namespace

uint64_t ZADContent::tokenTerm(uint32_t murmurHash) {
  const auto signExtended =
      static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(murmurHash)));
  return (kTokenOffset + signExtended) % kModulus;
}

void ZADContent::Tokens::clear() {
  bytes.clear();
  ends.clear();
  hashes.clear();
}

void ZADContent::Tokens::add(std::string_view token) {
  bytes.append(token);
  ends.push_back(bytes.size());
  hashes.push_back(tokenHash(token));
}

std::string_view ZADContent::Tokens::token(size_t index) const {
  const size_t begin = index == 0 ? 0 : ends[index - 1];
  return std::string_view(bytes).substr(begin, ends[index] - begin);
}

ZADContent::ZADContent(uint64_t sequenceNumber)
    : heap_(compareTuples), sequenceNumber_(sequenceNumber) {
  readSetting("/zorova/ads/content_age_weight", contentAgeWeight_);
  readSetting("/zorova/ads/content_length_weight", contentLengthWeight_);
  readSetting("/zorova/ads/maximum_shingle_count", maximumShingleCount_);
  readSetting("/zorova/ads/minimum_paragraph_length", minimumParagraphLength_);
  readSetting("/zorova/ads/shingle_length", shingleLength_);
  // A server value of 0 or below would read the minimum of an empty heap or make shingles of
  // nothing; negative ones would wrap to huge counts.
  if (static_cast<int64_t>(maximumShingleCount_) < 1)
    maximumShingleCount_ = kDefaultMaximumShingleCount;
  if (static_cast<int64_t>(shingleLength_) < 1) shingleLength_ = kDefaultShingleLength;
}

void ZADContent::updateContentWithText(std::string_view text) {
  if (text.empty()) return;
  const std::u16string units = platform::utf16FromUTF8(text);
  std::vector<std::u16string_view> paragraphs;
  std::u16string_view rest = units;
  while (true) {
    const size_t end = rest.find(u'\n');
    const std::u16string_view line = rest.substr(0, end);
    if (line.size() >= minimumParagraphLength_) {
      paragraphs.push_back(line);
      contentTotalLength_ += line.size();
    }
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  const uint64_t candidate = static_cast<uint64_t>(contentLengthWeight_) * contentTotalLength_ +
                             static_cast<uint64_t>(contentAgeWeight_) * sequenceNumber_;
  // Compared unsigned: a score pushed below zero by penalties is never raised again.
  if (candidate <= static_cast<uint64_t>(score_)) return;
  score_ = static_cast<int64_t>(candidate);
  ZADCharacterSets& sets = ZADCharacterSets::sharedInstance();
  for (std::u16string_view paragraph : paragraphs) {
    const auto characterDelimited = sets.characterDelimitedSet();
    const auto spaceDelimited = sets.spaceDelimitedSet();
    shingleParagraph(paragraph, *characterDelimited, *spaceDelimited);
  }
  fingerprint_ = shingleHash();
}

void ZADContent::shingleParagraph(std::u16string_view paragraph,
                                  const ZADCharacterSet& characterDelimited,
                                  const ZADCharacterSet& spaceDelimited) {
  lowercase(paragraph, lowered_);
  tokens_.clear();
  std::string word;
  const std::u16string_view text = lowered_;
  size_t wordStart = 0;
  bool inWord = false;
  auto endWord = [&](size_t end) {
    if (!inWord) return;
    word.clear();
    appendUTF8(word, text.substr(wordStart, end - wordStart));
    tokens_.add(word);
    inWord = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (characterDelimited.test(unit)) {
      endWord(i);
      word.clear();
      appendUTF8(word, text.substr(i, 1));
      tokens_.add(word);
    } else if (spaceDelimited.test(unit)) {
      if (!inWord) wordStart = i;
      inWord = true;
    } else {
      endWord(i);
    }
  }
  endWord(text.size());
  selectShingles(tokens_);
}

void ZADContent::selectShinglesFromTokens(const std::vector<std::string>& tokens) {
  Tokens split;
  for (const std::string& token : tokens) split.add(token);
  selectShingles(split);
}

void ZADContent::selectShingles(const Tokens& tokens) {
  const size_t n = tokens.ends.size();
  if (n == 0) return;
  const uint64_t length = shingleLength_;
  const size_t k = static_cast<size_t>(std::min<uint64_t>(length, n));
  uint64_t hash = tokenTerm(tokens.hashes[0]);
  for (size_t j = 1; j < k; ++j)
    hash = (hash * kBase % kModulus + tokenTerm(tokens.hashes[j])) % kModulus;
  updateHeap(hash, tokens, 0, k);
  if (n <= length) return;
  // Rolling: drop the oldest token's term, shift by the base, add the new one.
  const uint64_t leading = powerModulo(kBase, length - 1, kModulus);
  for (size_t i = 0; i + length < n; ++i) {
    const uint64_t out = tokenTerm(tokens.hashes[i]);
    const uint64_t in = tokenTerm(tokens.hashes[i + length]);
    hash = (in + (hash + kModulus - out * leading % kModulus) % kModulus * kBase % kModulus) %
           kModulus;
    updateHeap(hash, tokens, i + 1, length);
  }
}

void ZADContent::updateHeap(uint64_t hash, const Tokens& tokens, size_t first, size_t count) {
  // Only hashes are compared here, as the kept set is meant to favour large hashes.
  if (heap_.count() >= maximumShingleCount_ && heap_.minimum()->hashValue >= hash) return;
  ZADShingleHashTuple tuple{{}, hash};
  tuple.shingle.reserve(count);
  for (size_t i = first; i < first + count; ++i) tuple.shingle.emplace_back(tokens.token(i));
  if (heap_.containsObject(tuple)) return;
  heap_.addObject(std::move(tuple));
  if (heap_.count() > maximumShingleCount_) heap_.removedMinimum();
}

std::string ZADContent::shingleHash() const {
  if (heap_.count() == 0) return "";
  platform::Bytes digests;
  for (const ZADShingleHashTuple& tuple : heap_.sortedObjects()) {
    std::string folded;
    for (const std::string& token : tuple.shingle) {
      const uint32_t h = tokenHash(token);
      folded.push_back(static_cast<char>((h ^ h >> 8 ^ h >> 16 ^ h >> 24) & 0xFF));
    }
    const platform::Bytes digest = platform::md5(folded);
    digests.insert(digests.end(), digest.begin(), digest.begin() + 4);
  }
  return ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().encode(digests);
}
