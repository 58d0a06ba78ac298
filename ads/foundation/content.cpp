#include "ads/foundation/content.h"

#include <glib.h>

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "ads/foundation/murmur_hash.h"
#include "ads/foundation/string_encoding.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/utf16.h"
#include "platform/foundation/utf8.h"
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

// Lower-cases one character as the en_US locale does: by its own mapping (no locale-dependent
// rules), capital I with dot above becoming i and a combining dot. Answers how many characters
// it became.
int lowercase(char32_t c, char32_t (&out)[2]) {
  if (c == kCapitalIWithDotAbove) {
    out[0] = u'i';
    out[1] = kCombiningDotAbove;
    return 2;
  }
  out[0] = c <= 0xFFFF ? lowercaseTable()[c] : g_unichar_tolower(c);
  return 1;
}

// Writes the UTF-8 form of `c` (at most 4 bytes) at `out`; answers how many bytes it took.
size_t encodeUTF8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  size_t n = 0;
  if (c < 0x800) {
    out[n++] = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    out[n++] = static_cast<char>(0xE0 | (c >> 12));
    out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    out[n++] = static_cast<char>(0xF0 | (c >> 18));
    out[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out[n++] = static_cast<char>(0x80 | (c & 0x3F));
  return n;
}

// The character at `i` of valid UTF-8, moving `i` past it.
char32_t decodeUTF8(std::string_view text, size_t& i) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return text[i++];
  if (lead < 0xE0) {
    const char32_t c = (char32_t(lead & 0x1F) << 6) | (byte(i + 1) & 0x3F);
    i += 2;
    return c;
  }
  if (lead < 0xF0) {
    const char32_t c =
        (char32_t(lead & 0x0F) << 12) | (char32_t(byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
    i += 3;
    return c;
  }
  const char32_t c = (char32_t(lead & 0x07) << 18) | (char32_t(byte(i + 1) & 0x3F) << 12) |
                     (char32_t(byte(i + 2) & 0x3F) << 6) | (byte(i + 3) & 0x3F);
  i += 4;
  return c;
}

// The length in UTF-16 code units of valid UTF-8: one per character, two beyond U+FFFF.
size_t utf16Length(std::string_view text) {
  size_t units = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    units += (byte & 0xC0) != 0x80;
    units += byte >= 0xF0;
  }
  return units;
}

uint32_t tokenHash(std::string_view token) { return ZADMurmurHash3(token.data(), token.size(), 0); }

// Copies the run of ASCII word characters that `text` starts with to `out` (room for all of
// `text`) lower-cased, and hashes it on the way; answers the run's length. Eight bytes are taken
// at a time, the run's end found from a mask rather than by a branch per byte; bytes past the
// run may be written.
size_t copyASCIIWord(std::string_view text, const std::array<bool, 0x100>& isWord,
                     const std::array<char, 0x100>& lower, char* out, uint32_t& murmurHash) {
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  size_t copied = 0;
  uint32_t hash = 0;
  while (copied + 8 <= text.size()) {
    uint64_t lowered = 0;
    unsigned wordMask = 0;
    for (unsigned k = 0; k < 8; ++k) {
      const unsigned char c = in[copied + k];
      lowered |= uint64_t{static_cast<unsigned char>(lower[c])} << (8 * k);
      wordMask |= unsigned{isWord[c]} << k;
    }
    std::memcpy(out + copied, &lowered, sizeof lowered);
    const int run = std::countr_one(wordMask);
    if (run == 8) {
      hash = ZADMurmurHash3Block(ZADMurmurHash3Block(hash, static_cast<uint32_t>(lowered)),
                                 static_cast<uint32_t>(lowered >> 32));
      copied += 8;
      continue;
    }
    const uint64_t kept = lowered & ((uint64_t{1} << (8 * run)) - 1);
    const bool fullBlock = run >= 4;
    const uint32_t blocked = ZADMurmurHash3Block(hash, static_cast<uint32_t>(kept));
    hash = fullBlock ? blocked : hash;
    const auto tail = static_cast<uint32_t>(fullBlock ? kept >> 32 : kept);
    copied += static_cast<size_t>(run);
    murmurHash = ZADMurmurHash3Finish(hash, tail, copied);
    return copied;
  }
  // Fewer than eight bytes left: one at a time.
  uint32_t block = 0;
  while (copied < text.size() && isWord[in[copied]]) {
    const auto c = static_cast<unsigned char>(lower[in[copied]]);
    out[copied] = static_cast<char>(c);
    block |= uint32_t{c} << (8 * (copied & 3));
    if ((++copied & 3) == 0) {
      hash = ZADMurmurHash3Block(hash, block);
      block = 0;
    }
  }
  murmurHash = ZADMurmurHash3Finish(hash, block, copied);
  return copied;
}

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

void ZADContent::Tokens::clear() {
  length = 0;
  ends.clear();
  terms.clear();
}

void ZADContent::Tokens::grow(size_t count) {
  buffer.resize(std::max(2 * buffer.size(), length + count));
}

void ZADContent::Tokens::append(char32_t character) { length += encodeUTF8(character, reserve(4)); }

void ZADContent::Tokens::add(std::string_view token) {
  std::copy(token.begin(), token.end(), reserve(token.size()));
  length += token.size();
  close();
}

void ZADContent::Tokens::close() {
  const size_t begin = ends.empty() ? 0 : ends.back();
  close(ZADMurmurHash3(buffer.data() + begin, length - begin, 0));
}

void ZADContent::Tokens::close(uint32_t murmurHash) {
  ends.push_back(length);
  terms.push_back(tokenTerm(murmurHash));
}

std::string_view ZADContent::Tokens::token(size_t index) const {
  const size_t begin = index == 0 ? 0 : ends[index - 1];
  return std::string_view(buffer).substr(begin, ends[index] - begin);
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
  // Malformed bytes become U+FFFD, as in any text the platform hands over.
  std::string repaired;
  if (!platform::isValidUTF8(text)) {
    repaired = platform::utf8FromUTF16(platform::utf16FromUTF8(text));
    text = repaired;
  }
  std::vector<std::string_view> paragraphs;
  std::string_view rest = text;
  while (true) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    if (const size_t length = utf16Length(line); length >= minimumParagraphLength_) {
      paragraphs.push_back(line);
      contentTotalLength_ += length;
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  const uint64_t candidate = static_cast<uint64_t>(contentLengthWeight_) * contentTotalLength_ +
                             static_cast<uint64_t>(contentAgeWeight_) * sequenceNumber_;
  // Compared unsigned: a score pushed below zero by penalties is never raised again.
  if (candidate <= static_cast<uint64_t>(score_)) return;
  score_ = static_cast<int64_t>(candidate);
  // The sets in effect now, for the whole text.
  const auto characterDelimited = ZADCharacterSets::sharedInstance().characterDelimitedSet();
  const auto spaceDelimited = ZADCharacterSets::sharedInstance().spaceDelimitedSet();
  TokenSets sets{*characterDelimited, *spaceDelimited, {}, {}, {}};
  for (char16_t c = 0; c < sets.ascii.size(); ++c) {
    const char16_t lower = lowercaseTable()[c];
    sets.ascii[c] = characterDelimited->test(lower) ? TokenSets::kAlone
                    : spaceDelimited->test(lower)   ? TokenSets::kWord
                                                    : TokenSets::kSeparator;
    sets.asciiWord[c] = sets.ascii[c] == TokenSets::kWord;
    sets.asciiLower[c] = static_cast<char>(lower);
  }
  for (std::string_view paragraph : paragraphs) shingleParagraph(paragraph, sets);
  fingerprint_ = shingleHash();
}

void ZADContent::shingleParagraph(std::string_view paragraph, const TokenSets& sets) {
  const ZADCharacterSet& characterDelimited = sets.characterDelimited;
  const ZADCharacterSet& spaceDelimited = sets.spaceDelimited;
  tokens_.clear();
  bool inWord = false;
  auto endWord = [&] {
    if (inWord) tokens_.close();
    inWord = false;
  };
  // Sets are tested one UTF-16 code unit at a time; a character beyond U+FFFF is two units,
  // which sets of the first plane only hold when a server names surrogates. A unit left alone
  // in a token has no UTF-8 form and becomes U+FFFD.
  auto takeUnit = [&](char16_t unit, char32_t character) {
    if (characterDelimited.test(unit)) {
      endWord();
      tokens_.append(character);
      tokens_.close();
    } else if (spaceDelimited.test(unit)) {
      inWord = true;
      tokens_.append(character);
    } else {
      endWord();
    }
  };
  for (size_t i = 0; i < paragraph.size();) {
    // ASCII is the common case: words are copied lower-cased in one go and hashed as they are
    // copied, which spares reading them again when the word ends with the run.
    if (const auto byte = static_cast<unsigned char>(paragraph[i]); byte < 0x80) {
      if (sets.ascii[byte] == TokenSets::kWord) {
        const std::string_view rest = paragraph.substr(i);
        uint32_t murmurHash = 0;
        const size_t copied = copyASCIIWord(rest, sets.asciiWord, sets.asciiLower,
                                            tokens_.reserve(rest.size()), murmurHash);
        tokens_.length += copied;
        i += copied;
        // A word that began here and stops at ASCII (or the end) is whole; one that goes on
        // into other characters, or began before, is hashed when it ends.
        if (!inWord && (i == paragraph.size() || static_cast<unsigned char>(paragraph[i]) < 0x80)) {
          tokens_.close(murmurHash);
        } else {
          inWord = true;
        }
        continue;
      }
      if (sets.ascii[byte] == TokenSets::kSeparator) {
        endWord();
        ++i;
        continue;
      }
    }
    char32_t lowered[2];
    const int count = lowercase(decodeUTF8(paragraph, i), lowered);
    for (int n = 0; n < count; ++n) {
      const char32_t c = lowered[n];
      if (c <= 0xFFFF) {
        takeUnit(static_cast<char16_t>(c), c);
        continue;
      }
      const auto high = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      const auto low = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      const bool pairInWord = spaceDelimited.test(high) && spaceDelimited.test(low) &&
                              !characterDelimited.test(high) && !characterDelimited.test(low);
      if (pairInWord) {
        takeUnit(high, c);
      } else {
        takeUnit(high, 0xFFFD);
        takeUnit(low, 0xFFFD);
      }
    }
  }
  endWord();
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
  uint64_t hash = tokens.terms[0];
  for (size_t j = 1; j < k; ++j) hash = (hash * kBase % kModulus + tokens.terms[j]) % kModulus;
  updateHeap(hash, tokens, 0, k);
  if (n <= length) return;
  // Rolling: drop the oldest token's term, shift by the base, add the new one, as
  // hash * base + (in - out * base^length), whose second part does not wait on the previous
  // hash. Terms and hashes are below 2^31 and the base below 2^25, so no product overflows.
  static_assert(kModulus < (uint64_t{1} << 31) && kBase < (uint64_t{1} << 25));
  const uint64_t dropped = powerModulo(kBase, length, kModulus);
  for (size_t i = 0; i + length < n; ++i) {
    const uint64_t out = tokens.terms[i];
    const uint64_t in = tokens.terms[i + length];
    const uint64_t change = in + kModulus - out * dropped % kModulus;
    hash = (hash * kBase + change) % kModulus;
    updateHeap(hash, tokens, i + 1, length);
  }
}

void ZADContent::keepShingle(uint64_t hash, const Tokens& tokens, size_t first, size_t count) {
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
