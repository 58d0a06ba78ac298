#include "platform/foundation/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

TEST(Base64Test, RFC4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(std::string_view(plain)), encoded);
    std::optional<Bytes> decoded = base64Decode(encoded);
    ASSERT_TRUE(decoded.has_value()) << encoded;
    EXPECT_EQ(stringOf(*decoded), plain);
  }
  EXPECT_EQ(*base64Decode("AAEC"), (Bytes{0, 1, 2}));
}

TEST(Base64Test, RejectsAnythingButTheAlphabet) {
  const char* inputs[] = {"Zg=",  "Zg",   "Z===",     "Zm9v\n", "Zm 9v",           "Zm9-",
                          "Zm9_", "=Zm9", "Zg==Zg==", "Zm=v",   "\xC3\xA9\xC3\xA9"};
  for (const char* input : inputs) EXPECT_FALSE(base64Decode(input).has_value()) << input;
}

TEST(Base64Test, RandomRoundTrips) {
  std::mt19937 random(42);
  for (size_t size = 0; size < 200; ++size) {
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    EXPECT_EQ(*base64Decode(base64Encode(bytes)), bytes);
  }
}

}  // namespace
}  // namespace platform
