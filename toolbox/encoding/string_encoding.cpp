#include "toolbox/encoding/string_encoding.h"

#include <bit>
#include <numeric>
#include <type_traits>

#include "platform/foundation/assertion.h"
#include "platform/foundation/log.h"
#include "platform/foundation/utf8.h"

using platform::Bytes;

namespace {

constexpr char kBase32[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr char kBase32Hex[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr char kCrockford[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr char kCrockfordSynonyms[] = "0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kBase64Websafe[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool isASCII(unsigned char c) { return c < 128; }

// Calls f with the bits per character as a compile-time constant, so the group loops below
// unroll for each alphabet size.
template <typename F>
decltype(auto) withShift(int shift, F&& f) {
  switch (shift) {
    case 1:
      return f(std::integral_constant<int, 1>{});
    case 2:
      return f(std::integral_constant<int, 2>{});
    case 3:
      return f(std::integral_constant<int, 3>{});
    case 4:
      return f(std::integral_constant<int, 4>{});
    case 5:
      return f(std::integral_constant<int, 5>{});
    case 6:
      return f(std::integral_constant<int, 6>{});
    default:
      return f(std::integral_constant<int, 7>{});
  }
}

// A group is the least common multiple of 8 and the shift in bits: whole bytes and whole
// characters, so groups are coded independently of each other.
template <int Shift>
struct Group {
  static constexpr int kBits = std::lcm(8, Shift);
  static constexpr size_t kBytes = kBits / 8;
  static constexpr size_t kChars = kBits / Shift;
  static constexpr uint64_t kMask = (uint64_t{1} << Shift) - 1;
};

// Encodes the whole groups at the front of the input; answers the bytes consumed.
template <int Shift>
size_t encodeGroups(const uint8_t* in, size_t length, const char* charMap, char* out) {
  using G = Group<Shift>;
  size_t i = 0;
  for (; i + G::kBytes <= length; i += G::kBytes) {
    uint64_t acc = 0;
    for (size_t k = 0; k < G::kBytes; ++k) acc = (acc << 8) | in[i + k];
    for (size_t c = G::kChars; c-- > 0;) {
      out[c] = charMap[acc & G::kMask];
      acc >>= Shift;
    }
    out += G::kChars;
  }
  return i;
}

// Decodes whole groups of plain data characters at the front of the text and stops before the
// first group holding anything else; answers the characters consumed.
template <int Shift>
size_t decodeGroups(const unsigned char* in, size_t length, const int8_t* reverseMap,
                    uint8_t* out) {
  using G = Group<Shift>;
  size_t i = 0;
  for (; i + G::kChars <= length; i += G::kChars) {
    uint64_t acc = 0;
    int8_t any = 0;
    for (size_t k = 0; k < G::kChars; ++k) {
      const int8_t v = reverseMap[in[i + k]];
      any |= v;
      acc = (acc << Shift) | static_cast<uint8_t>(v);
    }
    if (any < 0) break;  // a mark: the careful loop takes over from this group
    for (size_t b = G::kBytes; b-- > 0;) {
      out[b] = static_cast<uint8_t>(acc);
      acc >>= 8;
    }
    out += G::kBytes;
  }
  return i;
}

std::string hexDescription(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "<";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 4 == 0) text += ' ';
    const auto b = static_cast<unsigned char>(bytes[i]);
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text + ">";
}

}  // namespace

ZSDK_ZTMStringEncoding::ZSDK_ZTMStringEncoding(std::string alphabet)
    : charMap_(std::move(alphabet)) {
  reverseCharMap_.fill(kUnknownChar);
  for (size_t i = 0; i < charMap_.size(); ++i) {
    reverseCharMap_[static_cast<unsigned char>(charMap_[i])] = static_cast<int8_t>(i);
  }
  shift_ = std::countr_zero(charMap_.size());
  mask_ = (1u << shift_) - 1;
  padLen_ = static_cast<size_t>(std::lcm(8, shift_) / shift_);
}

std::optional<ZSDK_ZTMStringEncoding> ZSDK_ZTMStringEncoding::stringEncodingWithString(
    std::string_view alphabet) {
  const size_t length = alphabet.size();
  if (length < 2 || length > 128 || !std::has_single_bit(length)) return std::nullopt;
  bool seen[128] = {};
  for (unsigned char c : alphabet) {
    if (!isASCII(c) || seen[c]) return std::nullopt;
    seen[c] = true;
  }
  return ZSDK_ZTMStringEncoding(std::string(alphabet));
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::fromValidAlphabet(std::string_view alphabet) {
  return ZSDK_ZTMStringEncoding(std::string(alphabet));
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::binaryStringEncoding() {
  return fromValidAlphabet("01");
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::hexStringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet("0123456789ABCDEF");
  coder.addDecodeSynonyms("AaBbCcDdEeFf");
  return coder;
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::rfc4648Base32StringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet(kBase32);
  coder.setPaddingChar('=');
  coder.setDoPad(true);
  return coder;
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::rfc4648Base32HexStringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet(kBase32Hex);
  coder.setPaddingChar('=');
  coder.setDoPad(true);
  return coder;
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::crockfordBase32StringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet(kCrockford);
  coder.addDecodeSynonyms(kCrockfordSynonyms);
  return coder;
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::rfc4648Base64StringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet(kBase64);
  coder.setPaddingChar('=');
  coder.setDoPad(true);
  return coder;
}

ZSDK_ZTMStringEncoding ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding() {
  ZSDK_ZTMStringEncoding coder = fromValidAlphabet(kBase64Websafe);
  coder.setPaddingChar('=');
  coder.setDoPad(true);
  return coder;
}

void ZSDK_ZTMStringEncoding::addDecodeSynonyms(std::string_view synonyms) {
  std::optional<int8_t> current;
  for (unsigned char c : synonyms) {
    if (!isASCII(c)) continue;
    if (reverseCharMap_[c] != kUnknownChar) {
      current = reverseCharMap_[c];
    } else if (current) {
      reverseCharMap_[c] = *current;
    }
  }
}

void ZSDK_ZTMStringEncoding::ignoreCharacters(std::string_view characters) {
  for (unsigned char c : characters) {
    if (!isASCII(c)) continue;
    if (reverseCharMap_[c] != kUnknownChar) {
      platform::assertionFailure("Character already mapped");
      continue;
    }
    reverseCharMap_[c] = kIgnoreChar;
  }
}

void ZSDK_ZTMStringEncoding::setPaddingChar(char c) {
  if (!isASCII(static_cast<unsigned char>(c))) return;
  paddingChar_ = c;
  reverseCharMap_[static_cast<unsigned char>(c)] = kPaddingChar;
}

std::string ZSDK_ZTMStringEncoding::encode(const uint8_t* bytes, size_t length) const {
  if (bytes == nullptr || length == 0) return {};
  const size_t shift = static_cast<size_t>(shift_);
  size_t outLength = (length * 8 + shift - 1) / shift;
  if (doPad_) outLength = (outLength + padLen_ - 1) / padLen_ * padLen_;
  std::string out(outLength, paddingChar_);
  char* o = out.data();

  const size_t grouped = withShift(shift_, [&](auto s) {
    return encodeGroups<decltype(s)::value>(bytes, length, charMap_.data(), o);
  });
  o += grouped * 8 / shift;
  // The rest, bit by bit; the last character is filled up with zero bits.
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = grouped; i < length; ++i) {
    acc = (acc << 8) | bytes[i];
    bits += 8;
    while (bits >= shift_) {
      bits -= shift_;
      *o++ = charMap_[(acc >> bits) & mask_];
    }
  }
  if (bits > 0) *o = charMap_[(acc << (shift_ - bits)) & mask_];
  return out;
}

std::string ZSDK_ZTMStringEncoding::encodeString(std::string_view text) const {
  return encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::optional<Bytes> ZSDK_ZTMStringEncoding::decode(std::string_view text) const {
  // Every character carries at most shift bits, so this is room enough.
  Bytes out(text.size() * static_cast<size_t>(shift_) / 8);
  uint8_t* o = out.data();
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());

  const size_t grouped = withShift(shift_, [&](auto s) {
    return decodeGroups<decltype(s)::value>(in, text.size(), reverseCharMap_.data(), o);
  });
  o += grouped * static_cast<size_t>(shift_) / 8;
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (size_t i = grouped; i < text.size(); ++i) {
    const int8_t value = reverseCharMap_[in[i]];
    if (value >= 0) {
      if (padding) return std::nullopt;  // data after padding
      acc = (acc << shift_) | static_cast<uint32_t>(value);
      bits += shift_;
      if (bits >= 8) {
        bits -= 8;
        *o++ = static_cast<uint8_t>(acc >> bits);
      }
    } else if (value == kPaddingChar) {
      padding = true;
    } else if (value != kIgnoreChar) {
      return std::nullopt;
    }
  }
  if ((acc & ((1u << bits) - 1)) != 0) return std::nullopt;  // leftover bits must be zero
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

std::optional<std::string> ZSDK_ZTMStringEncoding::stringByDecoding(std::string_view text) const {
  std::optional<Bytes> bytes = decode(text);
  if (!bytes) return std::nullopt;
  std::string decoded(bytes->begin(), bytes->end());
  if (!platform::isValidUTF8(decoded)) return std::nullopt;
  return decoded;
}

std::string ZSDK_ZTMStringEncoding::description() const {
  return platform::format("<Base%d StringEncoder: %s>", static_cast<int>(charMap_.size()),
                          hexDescription(charMap_).c_str());
}
