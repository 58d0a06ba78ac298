#include "platform/foundation/assertion.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/foundation/log.h"

namespace platform {

namespace {
std::mutex& handlerMutex() {
  static std::mutex mutex;
  return mutex;
}
AssertionHandler& handlerSlot() {
  static AssertionHandler handler;
  return handler;
}
}  // namespace

void assertionFailure(std::string_view message) {
  log("*** Assertion failure: " + std::string(message));
  AssertionHandler handler;
  {
    std::lock_guard lock(handlerMutex());
    handler = handlerSlot();
  }
  if (!handler) std::abort();
  handler(message);
}

AssertionHandler setAssertionHandler(AssertionHandler handler) {
  std::lock_guard lock(handlerMutex());
  std::swap(handlerSlot(), handler);
  return handler;
}

}  // namespace platform
