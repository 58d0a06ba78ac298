#include "platform/foundation/assertion.h"

#include <cstdlib>
#include <string>

#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"

namespace platform {

namespace {
struct HandlerSlot {
  Mutex mutex;
  AssertionHandler handler VKR_GUARDED_BY(mutex);
};
HandlerSlot& handlerSlot() {
  static HandlerSlot slot;
  return slot;
}
}  // namespace

void assertionFailure(std::string_view message) {
  log("*** Assertion failure: " + std::string(message));
  AssertionHandler handler;
  {
    HandlerSlot& slot = handlerSlot();
    MutexLock lock(slot.mutex);
    handler = slot.handler;
  }
  if (!handler) std::abort();
  handler(message);
}

AssertionHandler setAssertionHandler(AssertionHandler handler) {
  HandlerSlot& slot = handlerSlot();
  MutexLock lock(slot.mutex);
  std::swap(slot.handler, handler);
  return handler;
}

}  // namespace platform
