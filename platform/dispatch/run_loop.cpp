#include <glib.h>

#include <algorithm>

#include "platform/dispatch/queue.h"

namespace platform {

namespace {

// A timeout source on the default main context, removed with its owner.
class TimeoutSource {
 public:
  TimeoutSource(Duration after, GSourceFunc callback, gpointer data)
      : source_(g_timeout_source_new(static_cast<guint>(std::max<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(after).count(), 0)))) {
    g_source_set_callback(source_, callback, data, nullptr);
    g_source_attach(source_, g_main_context_default());
  }
  ~TimeoutSource() {
    g_source_destroy(source_);
    g_source_unref(source_);
  }
  TimeoutSource(const TimeoutSource&) = delete;
  TimeoutSource& operator=(const TimeoutSource&) = delete;

 private:
  GSource* source_;
};

gboolean keepSource(gpointer) { return G_SOURCE_CONTINUE; }

}  // namespace

void runMainLoopOnce(Duration timeout) {
  // The source only bounds the wait: whatever becomes ready first ends the turn.
  TimeoutSource bound(
      timeout, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr);
  g_main_context_iteration(g_main_context_default(), TRUE);
}

bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout,
                      std::optional<Duration> pollEvery) {
  bool timedOut = false;
  TimeoutSource deadline(
      timeout,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &timedOut);
  std::optional<TimeoutSource> tick;
  if (pollEvery) tick.emplace(*pollEvery, &keepSource, nullptr);
  bool held = condition();
  while (!held && !timedOut) {
    g_main_context_iteration(g_main_context_default(), TRUE);
    held = condition();
  }
  return held;
}

}  // namespace platform
