#include "toolbox/additions/zlib_additions.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/testing/log_capture.h"

namespace {

using platform::Bytes;
using Compressor = std::optional<Bytes> (*)(const Bytes&, int32_t);
using Inflater = std::optional<Bytes> (*)(const Bytes&, size_t);

Bytes randomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Text-like data: compresses well, but not trivially.
Bytes wordyBytes(size_t size) {
  static const char* words[] = {"event", "bundle", "upload ", "0.25,", "{\"name\":", "\n"};
  std::mt19937 random(7);
  Bytes bytes;
  while (bytes.size() < size) {
    const char* word = words[random() % 6];
    bytes.insert(bytes.end(), word, word + strlen(word));
  }
  bytes.resize(size);
  return bytes;
}

struct Wrapping {
  const char* name;
  Compressor compress;
  Inflater inflate;  // the inflater that restores this wrapping
};
const Wrapping kWrappings[] = {
    {"gzip", ztm_dataByGzippingData, ztm_dataByInflatingData},
    {"zlib", ztm_dataByDeflatingData, ztm_dataByInflatingData},
    {"raw", ztm_dataByRawDeflatingData, ztm_dataByRawInflatingData},
};

TEST(ZlibAdditionsTest, EveryWrappingRoundTrips) {
  const Bytes inputs[] = {Bytes{42}, randomBytes(1000, 1), randomBytes(70'000, 2),
                          wordyBytes(300'000),
                          // Inflates to far more than four times its compressed size.
                          Bytes(1 << 20, 0)};
  for (const Wrapping& wrapping : kWrappings) {
    for (const Bytes& input : inputs) {
      std::optional<Bytes> compressed = wrapping.compress(input, kZTMDefaultCompressionLevel);
      ASSERT_TRUE(compressed) << wrapping.name;
      std::optional<Bytes> restored = wrapping.inflate(*compressed, kZTMDefaultInflateOutputLimit);
      ASSERT_TRUE(restored) << wrapping.name << " " << input.size();
      EXPECT_EQ(*restored, input) << wrapping.name;
    }
  }
  const char text[] = "the bytes forms take a pointer and a length";
  std::optional<Bytes> gz = ztm_dataByGzippingBytes(text, sizeof text);
  ASSERT_TRUE(gz);
  std::optional<Bytes> back = ztm_dataByInflatingBytes(gz->data(), gz->size());
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->begin(), back->end() - 1), text);
}

TEST(ZlibAdditionsTest, EmptyOrMissingInputGivesNothing) {
  platform::testing::LogCapture log;
  const Bytes empty;
  for (const Wrapping& wrapping : kWrappings) {
    EXPECT_FALSE(wrapping.compress(empty, 5)) << wrapping.name;
    EXPECT_FALSE(wrapping.inflate(empty, kZTMDefaultInflateOutputLimit)) << wrapping.name;
  }
  EXPECT_FALSE(ztm_dataByGzippingBytes(nullptr, 10));
  EXPECT_FALSE(ztm_dataByInflatingBytes(nullptr, 10));
  EXPECT_TRUE(log.lines().empty());  // no message for these
}

TEST(ZlibAdditionsTest, HeadersOfEachWrapping) {
  const Bytes input = wordyBytes(5000);
  Bytes gz = *ztm_dataByGzippingData(input);
  ASSERT_GE(gz.size(), 10u);
  EXPECT_EQ(gz[0], 0x1f);
  EXPECT_EQ(gz[1], 0x8b);
  EXPECT_EQ(gz[2], 8);  // deflate
  EXPECT_EQ(gz[3], 0);  // no name, comment or extra fields
  EXPECT_EQ(Bytes(gz.begin() + 4, gz.begin() + 8), Bytes(4, 0));  // no time stamp

  Bytes z = *ztm_dataByDeflatingData(input);
  EXPECT_EQ(z[0], 0x78);
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);  // zlib header check bits

  // Raw deflate has neither header, and only the raw inflater takes it.
  platform::testing::LogCapture log;
  Bytes raw = *ztm_dataByRawDeflatingData(input);
  EXPECT_LT(raw.size(), z.size());
  EXPECT_FALSE(ztm_dataByInflatingData(raw));
  EXPECT_TRUE(log.contains("Error trying to inflate some of the payload, error -3: "));
  EXPECT_FALSE(ztm_dataByRawInflatingData(gz));
  EXPECT_FALSE(ztm_dataByRawInflatingData(z));
}

TEST(ZlibAdditionsTest, LevelsAreClampedIntoOneToNine) {
  // The zlib header's second byte records the compression level class.
  const Bytes input = wordyBytes(10'000);
  const std::pair<int32_t, uint8_t> cases[] = {
      {-1, 0x9C}, {0, 0x01}, {-5, 0x01}, {INT32_MIN, 0x01}, {1, 0x01},
      {4, 0x5E},  {9, 0xDA}, {10, 0xDA}, {INT32_MAX, 0xDA},
  };
  for (const auto& [level, flags] : cases) {
    std::optional<Bytes> z = ztm_dataByDeflatingData(input, level);
    ASSERT_TRUE(z) << level;
    EXPECT_EQ((*z)[1], flags) << level;
    EXPECT_EQ(*ztm_dataByInflatingData(*z), input) << level;
  }
  // Same clamping for gzip: level 0 compresses (level 1) instead of storing.
  EXPECT_EQ(*ztm_dataByGzippingData(input, 0), *ztm_dataByGzippingData(input, 1));
  EXPECT_LT(ztm_dataByGzippingData(input, 0)->size(), input.size() / 2);
}

TEST(ZlibAdditionsTest, TrailingBytesAfterTheStreamGiveNothing) {
  const Bytes input = wordyBytes(2000);
  const Bytes gz = *ztm_dataByGzippingData(input);
  const Bytes raw = *ztm_dataByRawDeflatingData(input);
  struct Case {
    const char* name;
    Bytes data;
    Inflater inflate;
    std::string message;
  };
  Bytes withGarbage = gz;
  withGarbage.insert(withGarbage.end(), {'x', 'y', 'z'});
  Bytes twoMembers = gz;
  twoMembers.insert(twoMembers.end(), gz.begin(), gz.end());
  Bytes rawWithGarbage = raw;
  rawWithGarbage.push_back(0);
  const Case cases[] = {
      {"garbage", withGarbage, ztm_dataByInflatingData,
       "thought we finished inflate w/o using all input, 3 bytes left"},
      {"second member", twoMembers, ztm_dataByInflatingData,
       ("thought we finished inflate w/o using all input, " + std::to_string(gz.size()) +
        " bytes left")},
      {"raw garbage", rawWithGarbage, ztm_dataByRawInflatingData,
       "thought we finished inflate w/o using all input, 1 bytes left"},
  };
  for (const Case& c : cases) {
    platform::testing::LogCapture log;
    EXPECT_FALSE(c.inflate(c.data, kZTMDefaultInflateOutputLimit)) << c.name;
    EXPECT_TRUE(log.contains(c.message)) << c.name;
  }
}

TEST(ZlibAdditionsTest, TruncatedOrDamagedStreamsGiveNothing) {
  const Bytes input = randomBytes(3000, 3);
  platform::testing::LogCapture log;
  for (const Wrapping& wrapping : kWrappings) {
    const Bytes full = *wrapping.compress(input, kZTMDefaultCompressionLevel);
    for (size_t cut = 1; cut < full.size(); cut += 97) {
      Bytes truncated(full.begin(), full.begin() + cut);
      EXPECT_FALSE(wrapping.inflate(truncated, kZTMDefaultInflateOutputLimit))
          << wrapping.name << " cut at " << cut;
    }
  }
  EXPECT_TRUE(log.contains("Error trying to inflate some of the payload, error -5"));

  // A damaged gzip trailer (the CRC) is caught.
  Bytes gz = *ztm_dataByGzippingData(input);
  gz[gz.size() - 6] ^= 0xFF;
  EXPECT_FALSE(ztm_dataByInflatingData(gz));
  EXPECT_TRUE(log.contains("incorrect data check"));
}

TEST(ZlibAdditionsTest, OutputLimitStopsExpansion) {
  const Bytes zeros(1 << 20, 0);
  const Bytes z = *ztm_dataByDeflatingData(zeros);
  const Bytes raw = *ztm_dataByRawDeflatingData(zeros);
  platform::testing::LogCapture log;
  EXPECT_TRUE(ztm_dataByInflatingData(z, zeros.size()));
  EXPECT_FALSE(ztm_dataByInflatingData(z, zeros.size() - 1));
  EXPECT_TRUE(log.contains("Inflated payload exceeds the limit of 1048575 bytes"));
  EXPECT_FALSE(ztm_dataByRawInflatingData(raw, 1000));
  EXPECT_FALSE(ztm_dataByInflatingData(z, 0));

  // A few hundred kilobytes that would inflate past the default limit.
  const std::string huge(kZTMDefaultInflateOutputLimit + 1, 'a');
  const Bytes bomb = *ztm_dataByGzippingBytes(huge.data(), huge.size(), 1);
  EXPECT_LT(bomb.size(), 1'000'000u);
  EXPECT_FALSE(ztm_dataByInflatingData(bomb));
  EXPECT_TRUE(log.contains("Inflated payload exceeds the limit of 67108864 bytes"));
}

}  // namespace
