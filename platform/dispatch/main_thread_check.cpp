#include "platform/dispatch/main_thread_check.h"

#include <string>

#include "platform/dispatch/queue.h"
#include "platform/foundation/assertion.h"

namespace platform {

void assertMainThread(std::string_view function) {
  if (isMainThread()) return;
  assertionFailure(std::string(function) + " called off the main thread");
}

}  // namespace platform
