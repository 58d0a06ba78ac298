#pragma once

// A multipart MIME body builder. The document chooses a boundary that occurs in none of its
// parts and produces the whole body as a gather stream plus its length. Not synchronised.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "toolbox/streams/gather_input_stream.h"

class ZSDK_ZTMMIMEPart {
 public:
  using Headers = std::map<std::string, std::string>;

  ZSDK_ZTMMIMEPart(const Headers& headers, platform::Bytes body);
  static std::shared_ptr<ZSDK_ZTMMIMEPart> partWithHeaders(const Headers& headers,
                                                           platform::Bytes body);

  // The header block: "Name: value\r\n" per header (names in case-insensitive order), then "\r\n".
  const std::shared_ptr<const platform::Bytes>& header() const { return header_; }
  const std::shared_ptr<const platform::Bytes>& body() const { return body_; }
  size_t length() const { return header_->size() + body_->size(); }
  // Whether the bytes occur wholly inside the header block or wholly inside the body.
  bool containsBytes(const uint8_t* bytes, size_t length) const;
  std::string description() const;

 private:
  std::shared_ptr<const platform::Bytes> header_;
  std::shared_ptr<const platform::Bytes> body_;
};

class ZSDK_ZTMMIMEDocument {
 public:
  struct Generated {
    std::shared_ptr<ZSDK_ZTMGatherInputStream> stream;
    uint64_t length = 0;
    std::string boundary;
  };

  static std::shared_ptr<ZSDK_ZTMMIMEDocument> MIMEDocument();

  void addPartWithHeaders(const ZSDK_ZTMMIMEPart::Headers& headers, platform::Bytes body);
  // A seed other than 0 makes the random numbers seed, seed + 1, ...; 0 uses the system's
  // strong random source.
  void seedRandomWith(uint32_t seed);
  uint32_t random();
  // Chooses one when none is set.
  const std::string& boundary();
  void setBoundary(std::string boundary);
  // The body: a CRLF, then per part "--boundary" CRLF, its header block and body, each part
  // after the first led by a CRLF too, and the end marker.
  Generated generateInputStream();
  std::string description() const;

  static constexpr const char* kDefaultBoundary = "END_OF_PART";

 private:
  bool anyPartContains(const std::string& candidate) const;

  std::vector<std::shared_ptr<ZSDK_ZTMMIMEPart>> parts_;
  std::optional<std::string> boundary_;
  uint32_t randomSeed_ = 0;
};
