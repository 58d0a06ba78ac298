#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ads/foundation/binary_heap.h"
#include "ads/foundation/character_sets.h"

// One word shingle of the content fingerprint: its tokens and their polynomial hash.
struct ZADShingleHashTuple {
  std::vector<std::string> shingle;
  uint64_t hashValue = 0;
};

// The fingerprint of the text one capture pass found on screen. Each text is cut into lines;
// lines of at least minimumParagraphLength UTF-16 units are paragraphs, lower-cased and cut into
// tokens; every run of shingleLength tokens gets a polynomial hash, and the maximumShingleCount
// largest distinct hashes are kept. Their tokens are digested into a web-safe Base64 text, the
// same for the same text. The score (amount of text and age of the pass) decides which capture
// is reported with the next ad request.
//
// Not thread-safe: one serial queue (the capture's hashing queue) makes every call.
class ZADContent {
 public:
  // Polynomial hash constants.
  static constexpr uint64_t kModulus = 0x4000FFFF;
  static constexpr uint64_t kBase = 0x1001FFF;
  static constexpr uint64_t kTokenOffset = 0x7FFFFFFF;

  // Reads the server's settings now; counts and lengths below 1 take their defaults.
  explicit ZADContent(uint64_t sequenceNumber);

  // Adds the text of one view. Only a text whose score beats the content's current score is
  // shingled (so a content served with a penalty no longer changes).
  void updateContentWithText(std::string_view text);
  // The shingles of one paragraph's tokens.
  void selectShinglesFromTokens(const std::vector<std::string>& tokens);
  // The digest of the kept shingles: "" when none is kept.
  std::string shingleHash() const;
  // Lowers the score by 100, as a content reported with a request.
  void deductServedPenalty() { score_ -= 100; }

  const std::string& fingerprint() const { return fingerprint_; }
  int64_t score() const { return score_; }
  uint64_t sequenceNumber() const { return sequenceNumber_; }
  size_t shingleCount() const { return heap_.count(); }

  // (0x7FFFFFFF + the token's MurmurHash3 read as signed) mod the modulus.
  static uint64_t tokenTerm(uint32_t murmurHash) {
    const auto signExtended =
        static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(murmurHash)));
    return (kTokenOffset + signExtended) % kModulus;
  }

 private:
  // A paragraph's tokens: their UTF-8 bytes back to back, where each ends, and each one's term.
  // The byte buffer only grows, so the bytes of each paragraph are written without clearing.
  struct Tokens {
    std::string buffer;
    size_t length = 0;  // bytes in use
    std::vector<size_t> ends;
    std::vector<uint64_t> terms;
    void clear();
    // Room for `count` more bytes, at the end of those in use.
    char* reserve(size_t count) {
      if (buffer.size() - length < count) grow(count);
      return buffer.data() + length;
    }
    void grow(size_t count);
    void append(char32_t character);
    void add(std::string_view token);
    // Ends the token whose bytes were appended since the last one ended.
    void close();
    // The same, given those bytes' MurmurHash3.
    void close(uint32_t murmurHash);
    std::string_view token(size_t index) const;
  };

  // The two sets, and what they make of each ASCII character once lower-cased.
  struct TokenSets {
    enum Kind : uint8_t { kSeparator, kWord, kAlone };
    const ZADCharacterSet& characterDelimited;
    const ZADCharacterSet& spaceDelimited;
    std::array<Kind, 0x80> ascii;
    // By byte: whether it is an ASCII word character, and its lower case when it is.
    std::array<bool, 0x100> asciiWord;
    std::array<char, 0x100> asciiLower;
  };

  // Lower-cases and tokenizes one paragraph (valid UTF-8).
  void shingleParagraph(std::string_view paragraph, const TokenSets& sets);
  void selectShingles(const Tokens& tokens);
  // Keeps the shingle of `count` tokens from `first` when its hash ranks among the kept ones.
  void updateHeap(uint64_t hash, const Tokens& tokens, size_t first, size_t count) {
    // Only hashes are compared here, as the kept set is meant to favour large hashes.
    if (heap_.count() >= maximumShingleCount_ && heap_.minimum()->hashValue >= hash) return;
    keepShingle(hash, tokens, first, count);
  }
  // Adds the shingle unless an equal one is kept, dropping the least when over the count.
  void keepShingle(uint64_t hash, const Tokens& tokens, size_t first, size_t count);

  int64_t contentAgeWeight_ = 1;
  int64_t contentLengthWeight_ = 1;
  uint64_t contentTotalLength_ = 0;
  ZADBinaryHeap<ZADShingleHashTuple> heap_;
  uint64_t maximumShingleCount_ = 10;
  uint64_t minimumParagraphLength_ = 6;
  uint64_t shingleLength_ = 6;
  std::string fingerprint_;
  int64_t score_ = 0;
  const uint64_t sequenceNumber_;
  // Reused between paragraphs.
  Tokens tokens_;
};
