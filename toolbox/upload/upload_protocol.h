#pragma once

// The resumable upload protocol's wire texts, the parsing of the server's upload headers, and
// the plan of each chunk. Pure functions: every server text goes through here before use.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace upload_protocol {

inline constexpr const char* kProtocolHeader = "X-Zorova-Upload-Protocol";
inline constexpr const char* kCommandHeader = "X-Zorova-Upload-Command";
inline constexpr const char* kContentTypeHeader = "X-Zorova-Upload-Content-Type";
inline constexpr const char* kContentLengthHeader = "X-Zorova-Upload-Content-Length";
inline constexpr const char* kURLHeader = "X-Zorova-Upload-URL";
inline constexpr const char* kStatusHeader = "X-Zorova-Upload-Status";
inline constexpr const char* kGranularityHeader = "X-Zorova-Upload-Chunk-Granularity";
inline constexpr const char* kOffsetHeader = "X-Zorova-Upload-Offset";
inline constexpr const char* kSizeReceivedHeader = "X-Zorova-Upload-Size-Received";

inline constexpr const char* kProtocolResumable = "resumable";
inline constexpr const char* kCommandStart = "start";
inline constexpr const char* kCommandUpload = "upload";
inline constexpr const char* kCommandUploadFinalize = "upload, finalize";
inline constexpr const char* kCommandFinalize = "finalize";
inline constexpr const char* kCommandQuery = "query";
inline constexpr const char* kCommandCancel = "cancel";

// The largest chunk, whatever the caller asked for (a whole file may still go in one request).
inline constexpr int64_t kMaxChunkSize = 10'485'760;
// A tail shorter than this rides with the chunk before it.
inline constexpr int64_t kFinalChunkSlack = 2'500;

enum class UploadStatus { Missing, Active, Final, Other };
UploadStatus parseStatus(const std::optional<std::string>& value);

// A byte count as the server writes it: decimal digits only (blanks around allowed), fitting in
// 64 bits. Anything else (a sign, garbage, an overflow) answers nullopt.
std::optional<int64_t> parseByteCount(std::string_view text);
// The server's chunk granularity: 0 when absent or not a positive byte count.
int64_t parseGranularity(const std::optional<std::string>& value);

struct ChunkPlan {
  int64_t offset = 0;
  int64_t length = 0;
  std::string command;
  bool isFinal() const { return command != kCommandUpload; }
};

// The chunk to send from `offset`. A chunk size below 1 means no limit but the maximum chunk;
// `wholeFileMaySkipCap` lets a file sent whole from offset 0 go as one request.
ChunkPlan planChunk(int64_t offset, int64_t chunkSize, int64_t granularity, int64_t fullLength,
                    bool wholeFileMaySkipCap);

}  // namespace upload_protocol
