#pragma once

// Internal to URL loading: the limits a task driver works within.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::net {

// Body bytes held while the delegate decides on a response before the transfer pauses, and
// bytes handed to the delegate queue but not yet delivered before it pauses.
inline constexpr size_t kHeldBodyLimit = 1 << 20;
inline constexpr int64_t kInFlightLimit = 4 << 20;
// Body of a redirect or challenge response kept for the case it becomes the final response.
inline constexpr size_t kInterimBodyLimit = 64 << 10;
inline constexpr int kMaxRedirects = 16;
// How long a response head may wait for the rest of a small body before the delegate is asked.
inline constexpr std::chrono::milliseconds kResponseGrace{2};

inline bool methodSendsBody(const std::string& method) {
  return !method.empty() && method != "GET" && method != "HEAD";
}

}  // namespace platform::net
