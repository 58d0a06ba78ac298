#pragma once

#include <cstdint>

#include "platform/foundation/value.h"

// Whole milliseconds since the first reading in the process, plus 1: the first reading is 1, so
// a reading is never 0 (0 means "not set"). Thread-safe; reads the platform's (replaceable)
// monotonic clock.
uint64_t ZADMonotonicMilliseconds();

class ZADAbsoluteTime {
 public:
  // The same reading as a number value.
  static platform::Value absoluteTimeInMilliseconds() {
    return platform::Value(ZADMonotonicMilliseconds());
  }
};
