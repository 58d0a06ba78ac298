#include "platform/testing/main_loop.h"

#include <glib.h>

#include "platform/dispatch/scheduler.h"

namespace platform::testing {

bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout) {
  GMainContext* context = g_main_context_default();
  bool timedOut = false;
  const auto timeoutMs =
      static_cast<guint>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
  GSource* deadline = g_timeout_source_new(timeoutMs);
  g_source_set_callback(
      deadline,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &timedOut, nullptr);
  g_source_attach(deadline, context);
  // Other threads may make the condition true without waking the loop: look again every 5 ms.
  GSource* tick = g_timeout_source_new(5);
  g_source_set_callback(
      tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(tick, context);

  bool held = condition();
  while (!held && !timedOut) {
    g_main_context_iteration(context, TRUE);
    held = condition();
  }
  g_source_destroy(tick);
  g_source_unref(tick);
  g_source_destroy(deadline);
  g_source_unref(deadline);
  return held;
}

void drainMainLoop() { drainMainQueue(); }

}  // namespace platform::testing
