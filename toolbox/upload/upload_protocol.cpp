#include "toolbox/upload/upload_protocol.h"

#include <strings.h>

#include <algorithm>
#include <limits>

namespace upload_protocol {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

UploadStatus parseStatus(const std::optional<std::string>& value) {
  if (!value) return UploadStatus::Missing;
  const std::string text(trimmed(*value));
  if (strcasecmp(text.c_str(), "active") == 0) return UploadStatus::Active;
  if (strcasecmp(text.c_str(), "final") == 0) return UploadStatus::Final;
  return UploadStatus::Other;
}

std::optional<int64_t> parseByteCount(std::string_view text) {
  text = trimmed(text);
  if (text.empty() || text.size() > 19) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

int64_t parseGranularity(const std::optional<std::string>& value) {
  if (!value) return 0;
  return parseByteCount(*value).value_or(0);
}

ChunkPlan planChunk(int64_t offset, int64_t chunkSize, int64_t granularity, int64_t fullLength,
                    bool wholeFileMaySkipCap) {
  int64_t size = chunkSize < 1 ? std::numeric_limits<int64_t>::max() : chunkSize;
  const bool wholeFile = wholeFileMaySkipCap && offset == 0 && size >= fullLength;
  if (!wholeFile) size = std::min(size, kMaxChunkSize);
  if (granularity >= 1) {
    size = size < granularity ? granularity : size - size % granularity;
    offset -= offset % granularity;
  }
  ChunkPlan plan;
  plan.offset = offset;
  const int64_t remaining = fullLength - offset;
  if (size >= remaining || remaining - kFinalChunkSlack < size) {
    plan.length = std::max<int64_t>(remaining, 0);
    plan.command = remaining < 1 ? kCommandFinalize : kCommandUploadFinalize;
  } else {
    plan.length = size;
    plan.command = kCommandUpload;
  }
  return plan;
}

}  // namespace upload_protocol
