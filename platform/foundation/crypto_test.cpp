#include "platform/foundation/crypto.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace platform {
namespace {

TEST(CryptoTest, KnownDigests) {
  using Digest = Bytes (*)(std::string_view);
  struct Case {
    Digest digest;
    std::string input;
    const char* hex;
  };
  const std::string million(1000000, 'a');
  const Case cases[] = {
      {md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {sha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {sha1, million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {sha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hexString(c.digest(c.input)), c.hex) << c.input.substr(0, 60);
  // Bytes and text give the same digest, NUL bytes included.
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(md5(bytesOf(withNul)), md5(withNul));
  EXPECT_EQ(sha1(bytesOf(withNul)), sha1(withNul));
  EXPECT_EQ(sha256(bytesOf(withNul)), sha256(withNul));
  EXPECT_NE(sha256(withNul), sha256("a"));
}

TEST(CryptoTest, HexStringIsLowerCaseTwoDigitsPerByte) {
  EXPECT_EQ(hexString({}), "");
  EXPECT_EQ(hexString({0x00, 0x0f, 0xa0, 0xff}), "000fa0ff");
}

TEST(CryptoTest, RandomBytesDiffer) {
  Result<Bytes> first = randomBytes(32);
  Result<Bytes> second = randomBytes(32);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(first->size(), 32u);
  EXPECT_NE(*first, *second);
  EXPECT_TRUE(randomBytes(0)->empty());

  std::set<uint32_t> numbers;
  for (int i = 0; i < 64; ++i) numbers.insert(randomUInt32());
  EXPECT_GT(numbers.size(), 60u);
}

TEST(CryptoTest, RandomUUIDsAreCanonicalVersion4) {
  const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 32; ++i) {
    std::string uuid = randomUUIDString();
    EXPECT_TRUE(std::regex_match(uuid, canonical)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 32u);
}

}  // namespace
}  // namespace platform
