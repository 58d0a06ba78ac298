#include "platform/testing/main_loop.h"

#include "platform/dispatch/queue.h"
#include "platform/dispatch/scheduler.h"

namespace platform::testing {

bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout) {
  return platform::runMainLoopUntil(condition, timeout, std::chrono::milliseconds(5));
}

void drainMainLoop() { drainMainQueue(); }

}  // namespace platform::testing
