#include "Plugins/vokaru-plugin-camera/vkr_jpeg_header_writer.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/foundation/text_number.h"

namespace {

using Format = VKRJpegHeaderWriter::TagFormat;

// Sizes in bytes of the TIFF field types 1 to 12.
size_t typeSize(int type) {
  static constexpr size_t kSizes[] = {1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type >= 1 && type <= 12 ? kSizes[type - 1] : 0;
}

size_t byteLength(std::string_view hex) { return hex.size() / 2; }

std::string textOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return *text;
  if (value.isReal()) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", *value.asDouble());
    return buffer;
  }
  if (std::optional<int64_t> number = value.asInteger()) return std::to_string(*number);
  return {};
}

double numberOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return platform::doubleValueOfText(*text);
  return value.doubleOr(0);
}

int64_t integerOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return platform::integerValueOfText(*text);
  return value.intOr(0);
}

int32_t clampTo32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

bool fits32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

}  // namespace

VKRJpegHeaderWriter::VKRJpegHeaderWriter()
    : IFD0TagFormatDict_{
          {"DateTime", {"0132", 2, 20, "00"}}, {"Make", {"010f", 2, 0, ""}},
          {"Model", {"0110", 2, 0, ""}},       {"Software", {"0131", 2, 0, ""}},
          {"XResolution", {"011a", 5, 1, ""}}, {"YResolution", {"011b", 5, 1, ""}},
      },
      SubIFDTagFormatDict_{
          {"ColorSpace", {"a001", 3, 1, ""}},
          {"DateTimeDigitized", {"9004", 2, 20, "00"}},
          {"DateTimeOriginal", {"9003", 2, 20, "00"}},
          {"ExposureMode", {"a402", 3, 1, ""}},
          {"ExposureProgram", {"8822", 3, 1, ""}},
          {"Flash", {"9209", 3, 1, ""}},
          {"FocalLenIn35mmFilm", {"a405", 3, 1, ""}},
          {"MeteringMode", {"9207", 3, 1, ""}},
          {"PixelXDimension", {"a002", 4, 1, ""}},
          {"PixelYDimension", {"a003", 4, 1, ""}},
          {"SceneType", {"a301", 3, 1, ""}},
          {"SensingMethod", {"a217", 3, 1, ""}},
          {"WhiteBalance", {"a403", 3, 1, ""}},
      } {}

platform::Result<std::string> VKRJpegHeaderWriter::createExifAPP1(
    const platform::Dictionary& metadata) const {
  static const platform::Dictionary kEmpty;
  auto section = [&](std::string_view key) -> const platform::Dictionary& {
    const platform::Value* value = metadata.find(key);
    const platform::Dictionary* dictionary = value ? value->dictionaryIf() : nullptr;
    return dictionary ? *dictionary : kEmpty;
  };
  uint32_t dataOffset = 0;
  const std::string ifd0 =
      createExifIFDFromDict(section("{TIFF}"), IFD0TagFormatDict_, true, dataOffset);
  const std::string subIFD =
      createExifIFDFromDict(section("{Exif}"), SubIFDTagFormatDict_, false, dataOffset);
  const size_t length = byteLength(ifd0) + byteLength(subIFD) + 16;
  // A segment's length field has 16 bits; a longer one would corrupt the JPEG it goes into.
  if (length > 0xffff) {
    return platform::Error::withDescription(kVKRJpegHeaderWriterErrorDomain, 1,
                                            "The metadata does not fit an APP1 segment.");
  }
  return "ffe1" + formattedHexStringFromDecimalNumber(length, 4) + "457869660000" + "4d4d002a" +
         "00000008" + ifd0 + subIFD;
}

std::string VKRJpegHeaderWriter::createExifIFDFromDict(const platform::Dictionary& values,
                                                       const FormatTable& formats, bool isIFD0,
                                                       uint32_t& currentDataOffset) const {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& [key, value] : values) {
    auto format = formats.find(key);
    if (format == formats.end()) continue;
    pairs.emplace_back(*createIFDElement(&format->second, value),
                       createIFDElementDataWithFormat(format->second, value));
  }
  uint64_t dataPosition = uint64_t{currentDataOffset} + 12 * pairs.size() + (isIFD0 ? 26 : 6);
  std::string entries;
  std::string dataArea;
  for (const auto& [head, data] : pairs) {
    if (data.size() > 8) {
      entries += head + formattedHexStringFromDecimalNumber(dataPosition & 0xffffffff, 8);
      dataArea += data;
      dataPosition += byteLength(data);
    } else {
      entries += head + data;
    }
  }
  size_t count = pairs.size();
  if (isIFD0) {
    // The sub-IFD begins right after IFD0's data area.
    appendExifOffsetTagTo(entries,
                          static_cast<uint32_t>(byteLength(entries) + byteLength(dataArea) + 26));
    ++count;
  }
  currentDataOffset = static_cast<uint32_t>(dataPosition);
  return formattedHexStringFromDecimalNumber(count, 4) + entries + "00000000" + dataArea;
}

std::optional<std::string> VKRJpegHeaderWriter::createIFDElement(const TagFormat* format,
                                                                 const platform::Value& value) {
  if (!format) return std::nullopt;
  uint64_t count = format->count;
  if (count == 0) count = textOf(value).size() * typeSize(format->type);
  return format->tag + formatNumberWithLeadingZeroes(format->type, 4) +
         formattedHexStringFromDecimalNumber(count & 0xffffffff, 8);
}

std::string VKRJpegHeaderWriter::createIFDElementDataWithFormat(const TagFormat& format,
                                                                const platform::Value& value) {
  switch (format.type) {
    case 2: {
      std::string hex;
      for (unsigned char c : textOf(value)) hex += formattedHexStringFromDecimalNumber(c, 2);
      hex += format.appended;
      if (hex.size() < 8) hex.append(8 - hex.size(), '0');
      return hex;
    }
    case 3:  // left-justified in the 4-byte field
      return formattedHexStringFromDecimalNumber(static_cast<uint16_t>(integerOf(value)), 4) +
             "0000";
    case 4:
      return formattedHexStringFromDecimalNumber(static_cast<uint32_t>(integerOf(value)), 8);
    case 5: {
      uint32_t numerator = 0;
      uint32_t denominator = 0;
      return decimalToUnsignedRational(numberOf(value), numerator, denominator);
    }
    default:
      return {};
  }
}

void VKRJpegHeaderWriter::appendExifOffsetTagTo(std::string& entries, uint32_t offset) {
  static const TagFormat kExifOffset{"8769", 4, 1, ""};
  entries += *createIFDElement(&kExifOffset, platform::Value()) +
             formattedHexStringFromDecimalNumber(offset, 8);
}

std::string VKRJpegHeaderWriter::formattedHexStringFromDecimalNumber(uint64_t number, int places) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*llx", places, static_cast<unsigned long long>(number));
  return buffer;
}

std::string VKRJpegHeaderWriter::formatNumberWithLeadingZeroes(int64_t number, int places) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", places, static_cast<long long>(number));
  return buffer;
}

std::string VKRJpegHeaderWriter::decimalToUnsignedRational(double value, uint32_t& numerator,
                                                           uint32_t& denominator) {
  int32_t signedNumerator = 0;
  int32_t signedDenominator = 1;
  decimalToRational(value, signedNumerator, signedDenominator);
  if (signedDenominator < 0) {
    signedNumerator = -signedNumerator;
    signedDenominator = -signedDenominator;
  }
  // An unsigned rational can't hold a negative value: 0 is the nearest it has.
  numerator = signedNumerator < 0 ? 0 : static_cast<uint32_t>(signedNumerator);
  denominator = static_cast<uint32_t>(signedDenominator);
  return formatRationalWithNumerator(numerator, denominator, false);
}

void VKRJpegHeaderWriter::decimalToRational(double value, int32_t& numerator,
                                            int32_t& denominator) {
  expandContinuedFraction(continuedFraction(value, 8), numerator, denominator);
}

std::vector<int32_t> VKRJpegHeaderWriter::continuedFraction(double value, int horizon) {
  std::vector<int32_t> terms;
  double rest = value;
  while (true) {
    int32_t whole = 0;
    double remainder = 0;
    splitDouble(rest, whole, remainder);
    terms.push_back(whole);
    if (remainder == 0 || std::isnan(remainder) || terms.size() > static_cast<size_t>(horizon)) {
      break;
    }
    rest = 1 / remainder;
  }
  return terms;
}

void VKRJpegHeaderWriter::expandContinuedFraction(const std::vector<int32_t>& terms,
                                                  int32_t& numerator, int32_t& denominator) {
  // Convergents from the front equal the expansion from the back; computing them in 64 bits and
  // keeping the last that fits 32 bits never overflows.
  int64_t previousNumerator = 1, previousDenominator = 0;
  int64_t currentNumerator = terms.empty() ? 0 : terms[0];
  int64_t currentDenominator = 1;
  for (size_t i = 1; i < terms.size(); ++i) {
    const int64_t nextNumerator = terms[i] * currentNumerator + previousNumerator;
    const int64_t nextDenominator = terms[i] * currentDenominator + previousDenominator;
    if (!fits32(nextNumerator) || !fits32(nextDenominator)) break;
    previousNumerator = currentNumerator;
    previousDenominator = currentDenominator;
    currentNumerator = nextNumerator;
    currentDenominator = nextDenominator;
  }
  numerator = static_cast<int32_t>(currentNumerator);
  denominator = static_cast<int32_t>(currentDenominator);
}

std::string VKRJpegHeaderWriter::formatRationalWithNumerator(int64_t numerator, int64_t denominator,
                                                             bool asSigned) {
  if (asSigned) {
    if (numerator < 0 && denominator > 0) denominator = -denominator;
    return formattedHexStringFromDecimalNumber(static_cast<uint32_t>(numerator), 8) +
           formattedHexStringFromDecimalNumber(static_cast<uint32_t>(denominator), 8);
  }
  return formattedHexStringFromDecimalNumber(static_cast<uint64_t>(numerator) & 0xffffffff, 8) +
         formattedHexStringFromDecimalNumber(static_cast<uint64_t>(denominator) & 0xffffffff, 8);
}

void VKRJpegHeaderWriter::splitDouble(double value, int32_t& intComponent, double& floatRemainder) {
  intComponent = clampTo32(value);
  floatRemainder = std::isnan(value) ? 0 : value - intComponent;
  // Past the 32-bit range the rest is not a fraction any more: stop there.
  if (std::fabs(floatRemainder) >= 1) floatRemainder = 0;
}

std::string VKRJpegHeaderWriter::hexStringFromData(const platform::Bytes& data) {
  std::string hex;
  for (size_t i = 0; i < data.size() && i < 2; ++i) {
    hex += formattedHexStringFromDecimalNumber(data[i], 2);
  }
  return hex;
}

uint64_t VKRJpegHeaderWriter::numericFromHexString(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) break;
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  return value;
}

platform::Bytes VKRJpegHeaderWriter::spliceExifBlockIntoJpeg(const platform::Bytes& jpeg,
                                                             std::string_view exifBlock) const {
  platform::Bytes block;
  for (size_t i = 0; i + 1 < exifBlock.size(); i += 2) {
    block.push_back(static_cast<uint8_t>(numericFromHexString(exifBlock.substr(i, 2)) & 0xff));
  }
  platform::Bytes out;
  size_t position = 0;
  bool replaced = false;
  while (position + 2 <= jpeg.size()) {
    if (jpeg[position] == 0xff && jpeg[position + 1] == 0xe1) {
      // The old segment's length comes from the file: it must cover its own field and end
      // within the data, or the file is not one we can splice.
      if (position + 4 > jpeg.size()) return jpeg;
      const size_t length = size_t{jpeg[position + 2]} << 8 | jpeg[position + 3];
      if (length < 2 || length + 2 > jpeg.size() - position) return jpeg;
      out.insert(out.end(), block.begin(), block.end());
      position += length + 2;
      replaced = true;
    } else if (replaced) {
      break;
    } else {
      out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(position),
                 jpeg.begin() + static_cast<ptrdiff_t>(position + 2));
      position += 2;
    }
  }
  out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(position), jpeg.end());
  return out;
}
