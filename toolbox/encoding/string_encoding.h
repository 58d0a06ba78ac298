#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// Turns bytes into text and back with an alphabet of 2, 4, 8, 16, 32, 64 or 128 ASCII characters;
// each character carries log2(size) bits, most significant first. A coder is a value: after its
// set-up calls it may be shared across threads and used for any number of calls.
class ZSDK_ZTMStringEncoding {
 public:
  static ZSDK_ZTMStringEncoding binaryStringEncoding();
  static ZSDK_ZTMStringEncoding hexStringEncoding();  // lower-case letters decode too
  static ZSDK_ZTMStringEncoding rfc4648Base32StringEncoding();
  static ZSDK_ZTMStringEncoding rfc4648Base32HexStringEncoding();
  static ZSDK_ZTMStringEncoding crockfordBase32StringEncoding();
  static ZSDK_ZTMStringEncoding rfc4648Base64StringEncoding();
  static ZSDK_ZTMStringEncoding rfc4648Base64WebsafeStringEncoding();

  // A coder for the alphabet; nullopt when it is not ASCII, its length is not a power of two from
  // 2 to 128, or a character repeats. Padding starts off, with no padding character.
  static std::optional<ZSDK_ZTMStringEncoding> stringEncodingWithString(std::string_view alphabet);

  // Extra characters accepted when decoding: each character not yet mapped takes the value of
  // the last mapped character before it ("AaBb": "a" decodes as "A", "b" as "B").
  void addDecodeSynonyms(std::string_view synonyms);
  // Characters skipped when decoding. Each must be unmapped; a mapped one is a programming error.
  void ignoreCharacters(std::string_view characters);

  bool doPad() const { return doPad_; }
  void setDoPad(bool doPad) { doPad_ = doPad; }
  // The padding character is also accepted when decoding, whether padding is on or off.
  // Characters outside 7-bit ASCII are ignored here and in the two calls above.
  void setPaddingChar(char c);

  std::string encode(const platform::Bytes& bytes) const {
    return encode(bytes.data(), bytes.size());
  }
  std::string encode(const uint8_t* bytes, size_t length) const;
  // Encodes the UTF-8 bytes of the text.
  std::string encodeString(std::string_view text) const;

  // The bytes, or nullopt for text with a character outside the encoding (non-ASCII included),
  // a data character after padding, or leftover bits that are not zero. Padding is never counted.
  std::optional<platform::Bytes> decode(std::string_view text) const;
  // Decodes and reads the bytes as UTF-8 text; nullopt when decoding fails or they are not UTF-8.
  std::optional<std::string> stringByDecoding(std::string_view text) const;

  // "<Base64 StringEncoder: <41424344 ...>>"
  std::string description() const;

 private:
  // Marks of the reverse map besides a character's value.
  static constexpr int8_t kUnknownChar = -1;
  static constexpr int8_t kPaddingChar = -2;
  static constexpr int8_t kIgnoreChar = -3;

  explicit ZSDK_ZTMStringEncoding(std::string alphabet);
  static ZSDK_ZTMStringEncoding fromValidAlphabet(std::string_view alphabet);

  std::string charMap_;
  // A character's value, or one of the marks; bytes of 128 and above are never part of the
  // encoding, so the table covers every byte and decoding needs no range check.
  std::array<int8_t, 256> reverseCharMap_{};
  int shift_ = 0;
  uint32_t mask_ = 0;
  bool doPad_ = false;
  char paddingChar_ = '\0';
  size_t padLen_ = 0;
};
