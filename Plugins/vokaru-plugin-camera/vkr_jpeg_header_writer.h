#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

inline constexpr const char* kVKRJpegHeaderWriterErrorDomain = "VKRJpegHeaderWriterErrorDomain";

// Builds an EXIF APP1 segment (IFD0 from the metadata's "{TIFF}" dictionary and the Exif sub-IFD
// from its "{Exif}" dictionary, big-endian TIFF) as lower-case hex text, and splices such a
// segment into JPEG bytes in place of their APP1 segments. Offsets are counted from the TIFF
// header. Stateless after construction: usable from any thread.
class VKRJpegHeaderWriter {
 public:
  // How one tag is written: its tag number (4 hex digits), TIFF field type, count (0: from the
  // value's length) and text appended to the value's bytes (the NUL of fixed-length dates).
  struct TagFormat {
    std::string tag;
    int type = 0;
    uint32_t count = 0;
    std::string appended;
  };
  using FormatTable = std::map<std::string, TagFormat, std::less<>>;

  VKRJpegHeaderWriter();

  const FormatTable& IFD0TagFormatDict() const { return IFD0TagFormatDict_; }
  const FormatTable& SubIFDTagFormatDict() const { return SubIFDTagFormatDict_; }

  // The APP1 segment for the metadata; an error when it would not fit a JPEG segment (64 KiB).
  platform::Result<std::string> createExifAPP1(const platform::Dictionary& metadata) const;
  // The JPEG with every APP1 segment at an even position replaced by the block (hex text). A
  // JPEG whose APP1 segment runs past its end, or claims less than its own length field, comes
  // back unchanged.
  platform::Bytes spliceExifBlockIntoJpeg(const platform::Bytes& jpeg,
                                          std::string_view exifBlock) const;

  // One IFD with its data area, for the values the table knows, in the dictionary's order;
  // `currentDataOffset` goes in as the IFD's start and comes out as the end of its data area.
  std::string createExifIFDFromDict(const platform::Dictionary& values, const FormatTable& formats,
                                    bool isIFD0, uint32_t& currentDataOffset) const;
  // Tag, type and count of an entry (its first 8 bytes); nothing without a format.
  static std::optional<std::string> createIFDElement(const TagFormat* format,
                                                     const platform::Value& value);
  // The value's bytes for the format's type.
  static std::string createIFDElementDataWithFormat(const TagFormat& format,
                                                    const platform::Value& value);
  // Appends the entry that points at the Exif sub-IFD.
  static void appendExifOffsetTagTo(std::string& entries, uint32_t offset);

  // The value as lower-case hex, zero-padded to at least `places` digits.
  static std::string formattedHexStringFromDecimalNumber(uint64_t number, int places);
  // The value in decimal, zero-padded to at least `places` digits.
  static std::string formatNumberWithLeadingZeroes(int64_t number, int places);

  // The closest fraction with 32-bit terms the continued fraction of the value gives (up to nine
  // terms), and for the unsigned form its 16 hex digits. Values outside the 32-bit range are
  // clamped to it; negative ones are 0 in the unsigned form.
  static std::string decimalToUnsignedRational(double value, uint32_t& numerator,
                                               uint32_t& denominator);
  static void decimalToRational(double value, int32_t& numerator, int32_t& denominator);
  // The terms of the value's continued fraction: at most horizon + 1, each clamped to 32 bits.
  static std::vector<int32_t> continuedFraction(double value, int horizon);
  // The last convergent of the terms whose numerator and denominator fit 32 bits.
  static void expandContinuedFraction(const std::vector<int32_t>& terms, int32_t& numerator,
                                      int32_t& denominator);
  // 8 hex digits each; signed: the denominator takes the numerator's sign, both two's complement.
  static std::string formatRationalWithNumerator(int64_t numerator, int64_t denominator,
                                                 bool asSigned);
  // Integer part (toward zero, clamped to 32 bits) and the rest.
  static void splitDouble(double value, int32_t& intComponent, double& floatRemainder);

  // The first two bytes as 4 hex digits (fewer for shorter data).
  static std::string hexStringFromData(const platform::Bytes& data);
  // The value of the hex digits at the start of the text (0 without any).
  static uint64_t numericFromHexString(std::string_view text);

 private:
  FormatTable IFD0TagFormatDict_;
  FormatTable SubIFDTagFormatDict_;
};
