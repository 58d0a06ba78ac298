#include "platform/foundation/property_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace platform {
namespace {

using Format = PropertyListFormat;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Result<Value> roundTrip(const Value& value, Format format) {
  Result<Bytes> written = toPropertyList(value, format);
  if (!written) return written.error();
  Format detected{};
  Result<Value> read = parsePropertyList(*written, {}, &detected);
  EXPECT_TRUE(!read || detected == format);
  return read;
}

// A binary property list assembled by hand: `objects` are the encoded objects in order; object
// references are one byte and offsets two.
Bytes binaryPlist(const std::vector<Bytes>& objects, uint64_t top, uint64_t countOverride = 0) {
  Bytes out = bytesOf("bplist00");
  std::vector<uint16_t> offsets;
  for (const Bytes& object : objects) {
    offsets.push_back(static_cast<uint16_t>(out.size()));
    out.insert(out.end(), object.begin(), object.end());
  }
  uint64_t table = out.size();
  for (uint16_t offset : offsets) {
    out.push_back(static_cast<uint8_t>(offset >> 8));
    out.push_back(static_cast<uint8_t>(offset));
  }
  const auto be64 = [&](uint64_t n) {
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(n >> shift));
  };
  out.insert(out.end(), 6, 0);
  out.push_back(2);  // offset size
  out.push_back(1);  // reference size
  be64(countOverride ? countOverride : objects.size());
  be64(top);
  be64(table);
  return out;
}

// Arrays nested `levels` deep.
Value nestedArrays(size_t levels) {
  Value value = Value::array();
  for (size_t i = 1; i < levels; ++i) {
    Value::Array outer;
    outer.push_back(std::move(value));
    value = Value(std::move(outer));
  }
  return value;
}

Value sampleOfEveryKind() {
  return Value::dictionary({
      {"zeta", "first key stays first"},
      {"integers", Value::array({0, -5, INT64_MAX, INT64_MIN})},
      {"reals", Value::array({0.1, -1e300, 2.0, INFINITY})},
      {"booleans", Value::array({true, false})},
      {"text", "a<b>&\"c\" 'd' \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"empty", ""},
      {"bytes", Bytes{0, 1, 0xFF, 0}},
      {"no bytes", Bytes{}},
      {"nested", Value::dictionary({{"list", Value::array({Value::dictionary(), Value::array()})},
                                    {"key <&>", 1}})},
  });
}

TEST(PropertyListTest, RoundTripsEveryKindOfValueInBothFormats) {
  for (Format format : {Format::XML, Format::Binary}) {
    SCOPED_TRACE(format == Format::XML ? "XML" : "binary");
    Result<Value> read = roundTrip(sampleOfEveryKind(), format);
    ASSERT_TRUE(read.ok()) << read.error().description();
    EXPECT_EQ(*read, sampleOfEveryKind());
    EXPECT_EQ(read->dictionaryIf()->keys().front(), "zeta");

    Result<Value> nan = roundTrip(Value::array({NAN}), format);
    ASSERT_TRUE(nan.ok());
    EXPECT_TRUE(std::isnan(nan->at(0).doubleOr(0)));
    // A scalar is a whole property list too.
    EXPECT_EQ(*roundTrip(Value("alone"), format), Value("alone"));
  }
}

TEST(PropertyListTest, KeepsDatesToTheFormatsPrecision) {
  // 2000-12-31T23:59:59.25Z lies just before the format's epoch; 2024 well after; 1950 before.
  const double dates[] = {978307199.25, 1718000000.123456, -631152000.5};
  for (double seconds : dates) {
    Value value = Value::array({Date{seconds}});
    Result<Value> binary = roundTrip(value, Format::Binary);
    ASSERT_TRUE(binary.ok());
    EXPECT_NEAR(binary->at(0).dateIf()->secondsSince1970, seconds, 1e-6);
    Result<Value> xml = roundTrip(value, Format::XML);
    ASSERT_TRUE(xml.ok());
    EXPECT_NEAR(xml->at(0).dateIf()->secondsSince1970, seconds, 1.0);
  }
}

TEST(PropertyListTest, ReadsHandWrittenXML) {
  const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist>
<plist version="1.0">
<!-- an app's information -->
<dict>
  <key>CFBundleIdentifier</key>
  <string>com.example.app</string>
  <key>Count</key> <integer>-42</integer>
  <key>Ratio</key> <real>0.5</real>
  <key>Enabled</key> <true/>
  <key>Blob</key> <data>
    AAEC
    /w==
  </data>
  <key>When</key> <date>2010-01-02T03:04:05Z</date>
  <key>Schemes</key> <array><string>a&amp;b</string><array/></array>
</dict>
</plist>)";
  Result<Value> read = parsePropertyList(std::string_view(xml));
  ASSERT_TRUE(read.ok()) << read.error().description();
  EXPECT_EQ((*read)["CFBundleIdentifier"], Value("com.example.app"));
  EXPECT_EQ((*read)["Count"], Value(-42));
  EXPECT_EQ((*read)["Ratio"], Value(0.5));
  EXPECT_EQ((*read)["Enabled"], Value(true));
  EXPECT_EQ((*read)["Blob"], Value(Bytes{0, 1, 2, 0xFF}));
  EXPECT_EQ((*read)["When"], Value(Date{1262401445}));
  EXPECT_EQ((*read)["Schemes"], Value::array({"a&b", Value::array()}));
}

TEST(PropertyListTest, ReadsBinaryFromOtherWriters) {
  // {"a": 1, "b": [true, "\u00e9"]}, the string in UTF-16 as other writers store non-ASCII text.
  Bytes plist = binaryPlist({{0xD2, 1, 2, 3, 4},
                             {0x51, 'a'},
                             {0x51, 'b'},
                             {0x10, 0x01},
                             {0xA2, 5, 6},
                             {0x09},
                             {0x61, 0x00, 0xE9}},
                            0);
  Result<Value> read = parsePropertyList(plist);
  ASSERT_TRUE(read.ok()) << read.error().description();
  EXPECT_EQ(*read, Value::dictionary({{"a", 1}, {"b", Value::array({true, "\xC3\xA9"})}}));

  // The parser reads binary text up to a NUL character.
  Result<Value> nul = parsePropertyList(binaryPlist({{0x53, 'a', 0, 'b'}}, 0));
  ASSERT_TRUE(nul.ok());
  EXPECT_EQ(*nul, Value("a"));
}

TEST(PropertyListTest, RefusesValuesWithoutAPropertyListForm) {
  const Value refused[] = {
      Value(),
      Value::dictionary({{"a", Value::array({1, nullptr})}}),
      Value(std::string("nul\0inside", 10)),
      Value("bad \xFF utf-8"),
      Value::dictionary({{std::string("k\0", 2), 1}}),
      Value::dictionary({{"\xC3", 1}}),
      Value(Date{978307200.0 + 3e9}),
      Value(Date{NAN}),
      nestedArrays(kPropertyListMaxDepth + 1),
  };
  for (Format format : {Format::XML, Format::Binary}) {
    for (const Value& value : refused) {
      Result<Bytes> written = toPropertyList(value, format);
      ASSERT_FALSE(written.ok()) << describe(value);
      EXPECT_EQ(written.error().domain(), kPropertyListErrorDomain);
      EXPECT_EQ(written.error().code(), kPropertyListWriteError);
    }
  }
}

TEST(PropertyListTest, NestingLimitIsExact) {
  Value nested = nestedArrays(kPropertyListMaxDepth);
  for (Format format : {Format::XML, Format::Binary}) {
    Result<Bytes> written = toPropertyList(nested, format);
    ASSERT_TRUE(written.ok());
    EXPECT_TRUE(parsePropertyList(*written).ok());
    EXPECT_FALSE(parsePropertyList(*written, {.maxDepth = kPropertyListMaxDepth - 1}).ok());
  }
}

Bytes deepXML(size_t levels, std::string_view open, std::string_view close) {
  std::string xml = "<plist version=\"1.0\">";
  for (size_t i = 0; i < levels; ++i) xml += open;
  for (size_t i = 0; i < levels; ++i) xml += close;
  return bytesOf(xml + "</plist>");
}

TEST(PropertyListTest, RefusesMalformedOrHostileInput) {
  // An object that refers to itself, and objects that share their child twice per level, so the
  // expanded value would have 2^60 leaves.
  std::vector<Bytes> doubling = {{0x10, 0x01}};
  for (uint8_t k = 1; k <= 60; ++k) doubling.push_back({0xA2, uint8_t(k - 1), uint8_t(k - 1)});
  struct Case {
    const char* what;
    Bytes data;
    PropertyListReadOptions options;
  };
  const Case cases[] = {
      {"empty", {}, {}},
      {"not a property list", bytesOf("hello, world"), {}},
      {"unterminated XML", bytesOf("<plist><dict><key>a</key><string>b</string>"), {}},
      {"mismatched tags", bytesOf("<plist><array></dict></plist>"), {}},
      {"unknown element", bytesOf("<plist><banana/></plist>"), {}},
      {"binary header only", bytesOf("bplist00"), {}},
      {"self reference", binaryPlist({{0xA1, 0}}, 0), {}},
      {"reference to a missing object", binaryPlist({{0xA1, 7}}, 0), {}},
      {"top object out of range", binaryPlist({{0x09}}, 3), {}},
      {"more objects than the table holds", binaryPlist({{0x09}}, 0, 1000), {}},
      {"shared objects multiplying", binaryPlist(doubling, 60), {}},
      {"XML nested 100000 deep", deepXML(100000, "<array>", "</array>"), {}},
      {"closing tags hidden in comments",
       deepXML(100000, "<array><!-- </array></array> -->", "</array>"),
       {}},
      {"closing tags hidden in attributes", deepXML(100000, "<dict x='</dict>'>", "</dict>"), {}},
      {"larger than allowed", bytesOf("<plist><true/></plist>"), {.maxBytes = 10}},
      {"NUL in XML text",
       bytesOf(std::string_view("<plist><dict><key>a\0b</key><true/></dict></plist>", 48)),
       {}},
      {"NUL in a binary key", binaryPlist({{0xD1, 1, 2}, {0x62, 0, 'a', 0, 0}, {0x09}}, 0), {}},
      {"binary key that is no text", binaryPlist({{0xD1, 1, 2}, {0x10, 0x01}, {0x09}}, 0), {}},
  };
  for (const Case& c : cases) {
    Result<Value> read = parsePropertyList(c.data, c.options);
    ASSERT_FALSE(read.ok()) << c.what;
    EXPECT_EQ(read.error().domain(), kPropertyListErrorDomain) << c.what;
    EXPECT_EQ(read.error().code(), kPropertyListReadError) << c.what;
  }
}

TEST(PropertyListTest, EveryTruncationIsAnError) {
  for (Format format : {Format::XML, Format::Binary}) {
    Result<Bytes> whole = toPropertyList(sampleOfEveryKind(), format);
    ASSERT_TRUE(whole.ok());
    // XML may stay well-formed up to the closing tags; every shorter prefix must fail.
    size_t end = format == Format::XML ? text(*whole).rfind("</dict>") : whole->size();
    for (size_t length = 0; length < end; ++length) {
      Bytes prefix(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(length));
      EXPECT_FALSE(parsePropertyList(prefix).ok()) << length;
    }
  }
}

}  // namespace
}  // namespace platform
