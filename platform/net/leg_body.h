#pragma once

// Internal to URL loading: the request body of one leg of a task (bytes, a file or a stream),
// read and rewound by libcurl on the engine's thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/net/c_handles.h"
#include "platform/net/input_stream.h"

namespace platform::net {

class LegBody {
 public:
  enum class Kind { None, Data, File, Stream };
  // What a read came to besides its bytes.
  enum class Outcome { Bytes, Pause, Abort };

  void clear() { *this = LegBody(); }
  // The bytes stay with the caller for as long as the leg runs.
  void useData(const Bytes& data);
  // Answers false when the file cannot be read.
  bool useFile(const std::filesystem::path& path);
  void useStream(std::shared_ptr<InputStream> stream);

  Kind kind() const { return kind_; }
  bool empty() const { return kind_ == Kind::None; }
  int64_t length() const { return length_; }

  // Fills up to `capacity` bytes; answers how many and, past the bytes, whether to pause (a
  // stream with nothing yet) or abort (with the stream's error in `failure` when it has one).
  size_t read(char* buffer, size_t capacity, Outcome& outcome, std::optional<Error>& failure);
  // libcurl's seek: CURL_SEEKFUNC_OK, _FAIL or _CANTSEEK.
  int seek(int64_t offset, int origin);

 private:
  Kind kind_ = Kind::None;
  const Bytes* data_ = nullptr;
  size_t offset_ = 0;
  File file_;
  std::shared_ptr<InputStream> stream_;
  int64_t length_ = 0;
};

}  // namespace platform::net
