#include "Plugins/vokaru-plugin-camera/vkr_jpeg_header_writer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using platform::Bytes;
using platform::Dictionary;
using platform::Value;

class VKRJpegHeaderWriterTest : public ::testing::Test {
 protected:
  std::string app1(const Dictionary& metadata) {
    platform::Result<std::string> segment = writer_.createExifAPP1(metadata);
    EXPECT_TRUE(segment.ok());
    return segment.ok() ? *segment : std::string();
  }
  VKRJpegHeaderWriter writer_;
};

TEST_F(VKRJpegHeaderWriterTest, AnEmptyDictionaryGivesTheBareSegment) {
  EXPECT_EQ(app1({}),
            "ffe1"
            "0028"
            "457869660000"
            "4d4d002a"
            "00000008"
            "0001"
            "87690004000000010000001a"
            "00000000"
            "0000"
            "00000000");
}

TEST_F(VKRJpegHeaderWriterTest, ValuesAreWrittenInlineOrInTheDataArea) {
  // IFD0 holds Make (inline), DateTime (data area at 8 + 2 + 3 x 12 + 4 = 50 = 0x32) and the
  // Exif offset after the 20 date bytes (70 = 0x46); the sub-IFD's values all fit inline.
  const Dictionary metadata{
      {"{TIFF}",
       Value::dictionary(
           {{"Make", "Acme"}, {"DateTime", "2015:01:02 03:04:05"}, {"Unknown", "skipped"}})},
      {"{Exif}", Value::dictionary({{"ColorSpace", 1}, {"PixelXDimension", "640"}})},
  };
  const std::string date = "323031353a30313a30322030333a30343a303500";
  EXPECT_EQ(app1(metadata),
            "ffe1"
            "006c"  // IFD0 2 + 3 x 12 + 4 + 20, sub-IFD 2 + 2 x 12 + 4, and 16
            "457869660000"
            "4d4d002a"
            "00000008"
            "0003"
            "010f000200000004"
            "41636d65"
            "0132000200000014"
            "00000032"
            "8769000400000001"
            "00000046"
            "00000000" +
                date +
                "0002"
                "a001000300000001"
                "00010000"
                "a002000400000001"
                "00000280"
                "00000000");
}

TEST_F(VKRJpegHeaderWriterTest, EntriesAndValuesByType) {
  struct Case {
    const char* key;
    Value value;
    const char* head;
    const char* data;
  };
  const VKRJpegHeaderWriter::FormatTable& ifd0 = writer_.IFD0TagFormatDict();
  const VKRJpegHeaderWriter::FormatTable& sub = writer_.SubIFDTagFormatDict();
  for (const Case& c : std::vector<Case>{
           {"Make", "Acme", "010f000200000004", "41636d65"},
           {"Model", "X", "0110000200000001", "58000000"},
           {"DateTime", "2015:01:02 03:04:05", "0132000200000014",
            "323031353a30313a30322030333a30343a303500"},
           {"XResolution", 72, "011a000500000001", "0000004800000001"},
           {"YResolution", 72.5, "011b000500000001", "0000009100000002"},
           {"XResolution", "0.75", "011a000500000001", "0000000300000004"},
           {"ColorSpace", 1, "a001000300000001", "00010000"},
           {"Flash", "16", "9209000300000001", "00100000"},
           {"Flash", 0x12345, "9209000300000001", "23450000"},
           {"PixelYDimension", 480, "a003000400000001", "000001e0"},
       }) {
    const auto* table = ifd0.contains(c.key) ? &ifd0 : &sub;
    const VKRJpegHeaderWriter::TagFormat& format = table->at(c.key);
    EXPECT_EQ(VKRJpegHeaderWriter::createIFDElement(&format, c.value), c.head) << c.key;
    EXPECT_EQ(VKRJpegHeaderWriter::createIFDElementDataWithFormat(format, c.value), c.data)
        << c.key;
  }
  EXPECT_EQ(VKRJpegHeaderWriter::createIFDElement(nullptr, "x"), std::nullopt);
}

TEST_F(VKRJpegHeaderWriterTest, RationalsComeFromTheContinuedFraction) {
  struct Case {
    double value;
    int32_t numerator;
    int32_t denominator;
  };
  for (const Case& c : std::vector<Case>{
           {72, 72, 1},
           {72.5, 145, 2},
           {0.333, 333, 1000},
           {-2.5, 5, -2},
           {3.14159265358979, 833719, 265381},
           {1e12, 2147483647, 1},   // clamped to the 32-bit range
           {1e-12, 1, 2147483647},  // the next term is clamped to the 32-bit range
           {NAN, 0, 1},
       }) {
    int32_t numerator = 0;
    int32_t denominator = 0;
    VKRJpegHeaderWriter::decimalToRational(c.value, numerator, denominator);
    EXPECT_EQ(numerator, c.numerator) << c.value;
    EXPECT_EQ(denominator, c.denominator) << c.value;
  }
  uint32_t numerator = 0;
  uint32_t denominator = 0;
  EXPECT_EQ(VKRJpegHeaderWriter::decimalToUnsignedRational(72.5, numerator, denominator),
            "0000009100000002");
  EXPECT_EQ(VKRJpegHeaderWriter::decimalToUnsignedRational(-3, numerator, denominator),
            "0000000000000001");
  EXPECT_EQ(VKRJpegHeaderWriter::formatRationalWithNumerator(-1, 2, true), "fffffffffffffffe");
  EXPECT_LE(VKRJpegHeaderWriter::continuedFraction(3.14159265358979, 8).size(), 9u);
}

TEST_F(VKRJpegHeaderWriterTest, NumberFormatting) {
  EXPECT_EQ(VKRJpegHeaderWriter::formattedHexStringFromDecimalNumber(26, 8), "0000001a");
  EXPECT_EQ(VKRJpegHeaderWriter::formattedHexStringFromDecimalNumber(0x12345, 4), "12345");
  EXPECT_EQ(VKRJpegHeaderWriter::formatNumberWithLeadingZeroes(5, 4), "0005");
  EXPECT_EQ(VKRJpegHeaderWriter::hexStringFromData(Bytes{0xff, 0xd8, 0xff}), "ffd8");
  EXPECT_EQ(VKRJpegHeaderWriter::hexStringFromData(Bytes{0xab}), "ab");
  EXPECT_EQ(VKRJpegHeaderWriter::numericFromHexString("1aZ"), 0x1au);
  EXPECT_EQ(VKRJpegHeaderWriter::numericFromHexString("zz"), 0u);
}

TEST_F(VKRJpegHeaderWriterTest, MetadataTooLongForASegmentIsRefused) {
  const Dictionary metadata{{"{TIFF}", Value::dictionary({{"Software", std::string(70000, 'x')}})}};
  EXPECT_FALSE(writer_.createExifAPP1(metadata).ok());
}

TEST_F(VKRJpegHeaderWriterTest, SplicingReplacesTheAPP1Segments) {
  const std::string block = "ffe10004abcd";
  const Bytes newBlock{0xff, 0xe1, 0x00, 0x04, 0xab, 0xcd};
  struct Case {
    const char* name;
    Bytes jpeg;
    Bytes expected;
  };
  Bytes withApp1{0xff, 0xd8, 0xff, 0xe1, 0x00, 0x10};
  withApp1.resize(2 + 18, 0x11);
  withApp1.insert(withApp1.end(), {0xff, 0xdb, 0x01, 0x02, 0xff, 0xd9});
  Bytes withApp1Expected{0xff, 0xd8};
  withApp1Expected.insert(withApp1Expected.end(), newBlock.begin(), newBlock.end());
  withApp1Expected.insert(withApp1Expected.end(), {0xff, 0xdb, 0x01, 0x02, 0xff, 0xd9});

  Bytes twoApp1{0xff, 0xd8, 0xff, 0xe1, 0x00, 0x02, 0xff, 0xe1, 0x00, 0x04, 0x00, 0x00, 0xaa};
  Bytes twoApp1Expected{0xff, 0xd8};
  for (int i = 0; i < 2; ++i) {
    twoApp1Expected.insert(twoApp1Expected.end(), newBlock.begin(), newBlock.end());
  }
  twoApp1Expected.push_back(0xaa);

  const Bytes oddApp1{0xff, 0xd8, 0x00, 0xff, 0xe1, 0x00, 0x02, 0x00};
  const Bytes truncated{0xff, 0xd8, 0xff, 0xe1, 0x00, 0x10, 0x00};
  const Bytes lengthPastEnd{0xff, 0xd8, 0xff, 0xe1, 0xff, 0xff};
  const Bytes lengthTooShort{0xff, 0xd8, 0xff, 0xe1, 0x00, 0x01, 0x00, 0x00};
  const Bytes noLength{0xff, 0xd8, 0xff, 0xe1, 0x00};
  for (const Case& c : std::vector<Case>{
           {"one segment", withApp1, withApp1Expected},
           {"two segments", twoApp1, twoApp1Expected},
           {"marker at an odd position", oddApp1, oddApp1},
           {"segment past the end", truncated, truncated},
           {"length past the end", lengthPastEnd, lengthPastEnd},
           {"length below its own field", lengthTooShort, lengthTooShort},
           {"no room for the length", noLength, noLength},
           {"empty", {}, {}},
           {"one byte", {0xff}, {0xff}},
       }) {
    EXPECT_EQ(writer_.spliceExifBlockIntoJpeg(c.jpeg, block), c.expected) << c.name;
  }
  // An odd last digit is dropped.
  EXPECT_EQ(writer_.spliceExifBlockIntoJpeg({0xff, 0xe1, 0x00, 0x02}, "ffe1000"),
            (Bytes{0xff, 0xe1, 0x00}));
}

TEST_F(VKRJpegHeaderWriterTest, AWrittenSegmentSplicesIntoAJpeg) {
  const std::string segment =
      app1({{"{TIFF}", Value::dictionary({{"Make", "Acme"}, {"XResolution", 72}})}});
  Bytes jpeg{0xff, 0xd8, 0xff, 0xe1, 0x00, 0x02, 0xff, 0xd9};
  const Bytes spliced = writer_.spliceExifBlockIntoJpeg(jpeg, segment);
  ASSERT_EQ(spliced.size(), 2 + segment.size() / 2 + 2);
  // The segment's own length field counts everything after the marker.
  EXPECT_EQ(size_t{spliced[4]} << 8 | spliced[5], segment.size() / 2 - 2);
}

}  // namespace
