#include "toolbox/streams/mime_document.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"

namespace {

bool containsIn(const platform::Bytes& haystack, const uint8_t* needle, size_t length) {
  if (length == 0) return false;
  const uint8_t* at = haystack.data();
  const uint8_t* end = haystack.data() + haystack.size();
  while (at < end) {
    at = static_cast<const uint8_t*>(std::memchr(at, needle[0], static_cast<size_t>(end - at)));
    if (at == nullptr || static_cast<size_t>(end - at) < length) return false;
    if (std::memcmp(at, needle, length) == 0) return true;
    ++at;
  }
  return false;
}

platform::Bytes headerBlock(const ZSDK_ZTMMIMEPart::Headers& headers) {
  std::vector<std::pair<std::string, std::string>> sorted(headers.begin(), headers.end());
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return strcasecmp(a.first.c_str(), b.first.c_str()) < 0;
  });
  std::string block;
  for (const auto& [name, value] : sorted) block += name + ": " + value + "\r\n";
  block += "\r\n";
  return platform::bytesOf(block);
}

std::shared_ptr<const platform::Bytes> shared(std::string_view text) {
  return std::make_shared<const platform::Bytes>(platform::bytesOf(text));
}

}  // namespace

ZSDK_ZTMMIMEPart::ZSDK_ZTMMIMEPart(const Headers& headers, platform::Bytes body)
    : header_(std::make_shared<const platform::Bytes>(headerBlock(headers))),
      body_(std::make_shared<const platform::Bytes>(std::move(body))) {}

std::shared_ptr<ZSDK_ZTMMIMEPart> ZSDK_ZTMMIMEPart::partWithHeaders(const Headers& headers,
                                                                    platform::Bytes body) {
  return std::make_shared<ZSDK_ZTMMIMEPart>(headers, std::move(body));
}

bool ZSDK_ZTMMIMEPart::containsBytes(const uint8_t* bytes, size_t length) const {
  return containsIn(*header_, bytes, length) || containsIn(*body_, bytes, length);
}

std::string ZSDK_ZTMMIMEPart::description() const {
  return platform::format("ZSDK_ZTMMIMEPart %p (header %zu bytes, body %zu bytes)",
                          static_cast<const void*>(this), header_->size(), body_->size());
}

std::shared_ptr<ZSDK_ZTMMIMEDocument> ZSDK_ZTMMIMEDocument::MIMEDocument() {
  return std::make_shared<ZSDK_ZTMMIMEDocument>();
}

void ZSDK_ZTMMIMEDocument::addPartWithHeaders(const ZSDK_ZTMMIMEPart::Headers& headers,
                                              platform::Bytes body) {
  parts_.push_back(ZSDK_ZTMMIMEPart::partWithHeaders(headers, std::move(body)));
  boundary_.reset();
}

void ZSDK_ZTMMIMEDocument::seedRandomWith(uint32_t seed) {
  randomSeed_ = seed;
  boundary_.reset();
}

uint32_t ZSDK_ZTMMIMEDocument::random() {
  if (randomSeed_ == 0) return platform::randomUInt32();
  return randomSeed_++;
}

void ZSDK_ZTMMIMEDocument::setBoundary(std::string boundary) { boundary_ = std::move(boundary); }

bool ZSDK_ZTMMIMEDocument::anyPartContains(const std::string& candidate) const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(candidate.data());
  return std::any_of(parts_.begin(), parts_.end(), [&](const auto& part) {
    return part->containsBytes(bytes, candidate.size());
  });
}

// Ten random suffixes are tried; should all of them occur in a part, two random numbers make a
// boundary that is taken unchecked.
const std::string& ZSDK_ZTMMIMEDocument::boundary() {
  if (boundary_) return *boundary_;
  std::string candidate = kDefaultBoundary;
  for (int attempt = 0; attempt < 10 && anyPartContains(candidate); ++attempt) {
    candidate = platform::format("%s_%08x", kDefaultBoundary, random());
    if (attempt == 9) {
      const uint32_t first = random();
      candidate = platform::format("%08x_vesprix_%08x", first, random());
    }
  }
  boundary_ = candidate;
  return *boundary_;
}

ZSDK_ZTMMIMEDocument::Generated ZSDK_ZTMMIMEDocument::generateInputStream() {
  Generated generated;
  generated.boundary = boundary();
  const auto separator = shared("\r\n--" + generated.boundary + "\r\n");
  const auto endMarker = shared("\r\n--" + generated.boundary + "--\r\n");
  ZSDK_ZTMGatherInputStream::Buffers buffers;
  for (const auto& part : parts_) {
    buffers.insert(buffers.end(), {separator, part->header(), part->body()});
    generated.length += separator->size() + part->length();
  }
  buffers.push_back(endMarker);
  generated.length += endMarker->size();
  generated.stream = ZSDK_ZTMGatherInputStream::streamWithArray(std::move(buffers));
  return generated;
}

std::string ZSDK_ZTMMIMEDocument::description() const {
  return platform::format("ZSDK_ZTMMIMEDocument %p (%zu parts)", static_cast<const void*>(this),
                          parts_.size());
}
