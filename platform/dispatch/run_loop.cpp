#include <glib.h>

#include "platform/dispatch/queue.h"

namespace platform {

void runMainLoopOnce(Duration timeout) {
  GMainContext* context = g_main_context_default();
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(timeout);
  // The source only bounds the wait: whatever becomes ready first ends the turn.
  GSource* bound =
      g_timeout_source_new(static_cast<guint>(std::max<int64_t>(milliseconds.count(), 0)));
  g_source_set_callback(
      bound, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
  g_source_attach(bound, context);
  g_main_context_iteration(context, TRUE);
  g_source_destroy(bound);
  g_source_unref(bound);
}

}  // namespace platform
