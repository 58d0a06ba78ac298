#include "toolbox/encoding/string_encoding.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/foundation/base64.h"
#include "platform/testing/assertion_capture.h"

namespace {

using platform::Bytes;
using platform::bytesOf;
using Coder = ZSDK_ZTMStringEncoding;

Bytes randomBytes(size_t size, std::mt19937& random) {
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// The plain definition, one bit at a time, to check the coder against.
std::string referenceEncode(const Bytes& bytes, const std::string& alphabet, bool pad) {
  const int shift = __builtin_ctz(static_cast<unsigned>(alphabet.size()));
  std::string bits;
  for (uint8_t b : bytes) {
    for (int i = 7; i >= 0; --i) bits += ((b >> i) & 1) ? '1' : '0';
  }
  while (bits.size() % shift) bits += '0';
  std::string out;
  for (size_t i = 0; i < bits.size(); i += shift) {
    out += alphabet[std::stoi(bits.substr(i, shift), nullptr, 2)];
  }
  const size_t unit = static_cast<size_t>(std::lcm(8, shift) / shift);
  while (pad && out.size() % unit) out += '=';
  return out;
}

TEST(StringEncodingTest, RFC4648Vectors) {
  struct Vector {
    const char* plain;
    const char* base64;
    const char* base32;
    const char* base32hex;
    const char* base16;
  };
  const Vector vectors[] = {
      {"", "", "", "", ""},
      {"f", "Zg==", "MY======", "CO======", "66"},
      {"fo", "Zm8=", "MZXQ====", "CPNG====", "666F"},
      {"foo", "Zm9v", "MZXW6===", "CPNMU===", "666F6F"},
      {"foob", "Zm9vYg==", "MZXW6YQ=", "CPNMUOG=", "666F6F62"},
      {"fooba", "Zm9vYmE=", "MZXW6YTB", "CPNMUOJ1", "666F6F6261"},
      {"foobar", "Zm9vYmFy", "MZXW6YTBOI======", "CPNMUOJ1E8======", "666F6F626172"},
  };
  const Coder base64 = Coder::rfc4648Base64StringEncoding();
  const Coder base32 = Coder::rfc4648Base32StringEncoding();
  const Coder base32hex = Coder::rfc4648Base32HexStringEncoding();
  const Coder base16 = Coder::hexStringEncoding();
  for (const Vector& v : vectors) {
    const std::pair<const Coder*, const char*> codings[] = {
        {&base64, v.base64}, {&base32, v.base32}, {&base32hex, v.base32hex}, {&base16, v.base16}};
    for (const auto& [coder, encoded] : codings) {
      EXPECT_EQ(coder->encodeString(v.plain), encoded) << coder->description();
      EXPECT_EQ(coder->stringByDecoding(encoded), v.plain) << encoded;
    }
  }
}

TEST(StringEncodingTest, PaddingAndAlphabetVariants) {
  Coder websafe = Coder::rfc4648Base64WebsafeStringEncoding();
  EXPECT_EQ(websafe.encode(Bytes{0xFB, 0xFF}), "-_8=");
  websafe.setDoPad(false);
  EXPECT_EQ(websafe.encode(Bytes{0xFB, 0xFF}), "-_8");
  // A 20-byte digest, as the identity client encodes it: no "=" at all, and the coder reusable.
  const Bytes digest(20, 0xFB);
  EXPECT_EQ(websafe.encode(digest), "-_v7-_v7-_v7-_v7-_v7-_v7-_s");
  EXPECT_EQ(websafe.encode(digest), websafe.encode(digest));
  EXPECT_EQ(Coder::rfc4648Base64StringEncoding().encode(Bytes{0xFB, 0xFF}), "+/8=");

  Coder base32 = Coder::rfc4648Base32StringEncoding();
  base32.setDoPad(false);
  EXPECT_EQ(base32.encode(Bytes{0x66}), "MY");

  Coder hex = Coder::hexStringEncoding();
  EXPECT_EQ(hex.encode(Bytes{0xAB}), "AB");
  EXPECT_EQ(hex.decode("ab"), Bytes{0xAB});
  EXPECT_EQ(hex.decode("aB"), Bytes{0xAB});

  const Coder crockford = Coder::crockfordBase32StringEncoding();
  EXPECT_EQ(crockford.decode("0O"), crockford.decode("oo"));
  EXPECT_EQ(crockford.decode("01"), crockford.decode("OI"));
  EXPECT_EQ(crockford.decode("01"), crockford.decode("ol"));
  EXPECT_EQ(crockford.decode("01"), crockford.decode("0L"));
  EXPECT_EQ(crockford.decode("01"), crockford.decode("0i"));
  EXPECT_EQ(crockford.decode("zz"), crockford.decode("ZZ"));
  EXPECT_FALSE(crockford.decode("0U"));  // U is not part of it

  EXPECT_EQ(Coder::binaryStringEncoding().encode(Bytes{0xA5, 0x01}), "1010010100000001");
  EXPECT_EQ(Coder::binaryStringEncoding().decode("1010010100000001"), (Bytes{0xA5, 0x01}));
}

TEST(StringEncodingTest, DecodingRules) {
  const Coder base64 = Coder::rfc4648Base64StringEncoding();
  Coder unpadded = base64;
  unpadded.setDoPad(false);
  struct Case {
    const char* text;
    std::optional<Bytes> bytes;
  };
  const Case cases[] = {
      {"", Bytes{}},
      {"Zg", Bytes{0x66}},            // padding missing
      {"Zg==", Bytes{0x66}},          //
      {"Zg=", Bytes{0x66}},           // short padding
      {"Zg=====", Bytes{0x66}},       // surplus padding
      {"Zh==", std::nullopt},         // leftover bits 0001 are not zero
      {"Zg=a", std::nullopt},         // data after padding
      {"Zm9v Zg==", std::nullopt},    // a blank is outside the encoding
      {"Zm9v\nZg==", std::nullopt},   // so is a line break, unless ignored
      {"Zm-v", std::nullopt},         // web-safe character in the standard alphabet
      {"Zm9\xC3\xA9", std::nullopt},  // non-ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base64.decode(c.text), c.bytes) << c.text;
    // A coder with a padding character accepts it whether it pads or not.
    EXPECT_EQ(unpadded.decode(c.text), c.bytes) << c.text;
  }
  EXPECT_FALSE(base64.decode(std::string_view("Zm\0v", 4)));  // NUL is outside the encoding
  // Long input switches from whole groups to the careful path at the first mark.
  std::string text(4000, 'A');
  EXPECT_EQ(base64.decode(text + "AA=="), Bytes(3001, 0));
  EXPECT_FALSE(base64.decode(text + "=AAA"));
  EXPECT_FALSE(base64.decode(text + "*AAA"));
}

TEST(StringEncodingTest, IgnoredCharactersAndSynonyms) {
  Coder base64 = Coder::rfc4648Base64StringEncoding();
  base64.ignoreCharacters(" \r\n");
  EXPECT_EQ(base64.stringByDecoding("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(base64.stringByDecoding(" Zg==\n\n"), "f");  // padding followed by ignored characters

  platform::testing::AssertionCapture assertions;
  base64.ignoreCharacters("A=");
  EXPECT_EQ(assertions.messages(),
            (std::vector<std::string>{"Character already mapped", "Character already mapped"}));
  EXPECT_EQ(base64.decode("AA=="), Bytes{0});  // both keep their meaning

  // A leading unmapped synonym stays unmapped; later ones follow the last mapped character.
  Coder custom = *Coder::stringEncodingWithString("ab");
  custom.addDecodeSynonyms("xaAbB\xC3\xA9");
  EXPECT_FALSE(custom.decode("x"));
  EXPECT_EQ(custom.decode("AAAAAAAB"), Bytes{0x01});
  EXPECT_EQ(custom.decode("bbbbbbbB"), Bytes{0xFF});
  // Non-ASCII padding characters are refused.
  custom.setPaddingChar('\xC3');
  custom.setDoPad(true);
  EXPECT_EQ(custom.encode(Bytes{1}), "aaaaaaab");
}

TEST(StringEncodingTest, AlphabetsThatMakeNoCoder) {
  const std::string_view refused[] = {"",
                                      "0",
                                      "012",
                                      "AABC",
                                      "0123456",
                                      "ab\xC3\xA9",
                                      std::string_view("abcdefghijklmnopqrstuvwxyzABCDEFGHIJK"
                                                       "LMNOPQRSTUVWXYZ0123456789+/")
                                          .substr(0, 48)};
  for (std::string_view alphabet : refused) {
    EXPECT_FALSE(Coder::stringEncodingWithString(alphabet)) << alphabet;
  }
  std::string all;
  for (int c = 0; c < 129; ++c) all += static_cast<char>(c);
  EXPECT_FALSE(Coder::stringEncodingWithString(all));  // 129 characters, one of them not ASCII
  EXPECT_TRUE(Coder::stringEncodingWithString(all.substr(0, 128)));
}

TEST(StringEncodingTest, RandomDataMatchesThePlainDefinition) {
  std::mt19937 random(2024);
  std::string ascii;
  for (int c = 0; c < 128; ++c) ascii += static_cast<char>(c);
  for (size_t size = 2; size <= 128; size *= 2) {
    std::shuffle(ascii.begin(), ascii.end(), random);
    // Below 128 characters "=" is left out so it can serve as padding.
    std::string alphabet;
    for (char c : ascii) {
      if ((c != '=' || size == 128) && alphabet.size() < size) alphabet += c;
    }
    std::optional<Coder> made = Coder::stringEncodingWithString(alphabet);
    ASSERT_TRUE(made) << size;
    Coder coder = *made;
    if (size < 128) coder.setPaddingChar('=');
    for (bool pad : {false, size < 128}) {
      coder.setDoPad(pad);
      for (size_t length = 0; length < 40; ++length) {
        const Bytes bytes = randomBytes(length, random);
        const std::string encoded = coder.encode(bytes);
        ASSERT_EQ(encoded, referenceEncode(bytes, alphabet, pad)) << size << " " << length;
        ASSERT_EQ(coder.decode(encoded), bytes) << size << " " << length;
      }
    }
  }
  // Large buffers through the group paths, against the platform's own base64.
  const Coder base64 = Coder::rfc4648Base64StringEncoding();
  for (size_t length : {1000, 1001, 1002, 65537}) {
    const Bytes bytes = randomBytes(length, random);
    EXPECT_EQ(base64.encode(bytes), platform::base64Encode(bytes));
    EXPECT_EQ(base64.decode(platform::base64Encode(bytes)), bytes);
  }
}

TEST(StringEncodingTest, TextAndDescription) {
  const Coder hex = Coder::hexStringEncoding();
  EXPECT_EQ(hex.encodeString("\xC3\xA9"), "C3A9");
  EXPECT_EQ(hex.stringByDecoding("c3a9"), "\xC3\xA9");
  EXPECT_FALSE(hex.stringByDecoding("C3"));  // not UTF-8
  EXPECT_FALSE(hex.stringByDecoding("C"));   // leftover bits
  EXPECT_EQ(Coder::binaryStringEncoding().description(), "<Base2 StringEncoder: <3031>>");
  EXPECT_EQ(hex.description(), "<Base16 StringEncoder: <30313233 34353637 38394142 43444546>>");
}

}  // namespace
