// Upload headers from a server: the status, a received count and a granularity, then the chunk
// they lead to. Whatever the text, a count is a non-negative number, and the chunk planned from
// it stays inside the body.
#include <cstdlib>
#include <string>

#include "toolbox/upload/upload_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const std::string count = input.substr(0, split);
  const std::string granularityText = split == std::string::npos ? "" : input.substr(split + 1);
  (void)upload_protocol::parseStatus(input);
  const int64_t granularity = upload_protocol::parseGranularity(granularityText);
  if (granularity < 0) std::abort();
  const std::optional<int64_t> received = upload_protocol::parseByteCount(count);
  if (!received) return 0;
  if (*received < 0) std::abort();
  constexpr int64_t kFullLength = 64 * 1024 * 1024;
  if (*received > kFullLength) return 0;  // refused before any chunk is planned
  const upload_protocol::ChunkPlan plan =
      upload_protocol::planChunk(*received, 10000, granularity, kFullLength, false);
  if (plan.offset < 0 || plan.length < 0 || plan.offset > kFullLength ||
      plan.length > kFullLength - plan.offset) {
    std::abort();
  }
  return 0;
}
