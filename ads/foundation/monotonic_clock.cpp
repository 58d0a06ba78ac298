#include "ads/foundation/monotonic_clock.h"

#include <chrono>

#include "platform/dispatch/clock.h"

uint64_t ZADMonotonicMilliseconds() {
  static const platform::MonotonicTime start = platform::monotonicNow();
  const auto elapsed = platform::monotonicNow() - start;
  if (elapsed.count() < 0) return 1;  // a clock installed later may begin before the first reading
  return static_cast<uint64_t>(
             std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) +
         1;
}
