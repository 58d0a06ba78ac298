#include <glib.h>

#include <algorithm>
#include <vector>

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
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) {
    // Another thread runs the context: a bounding source ends the turn if nothing else does.
    TimeoutSource bound(
        timeout, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr);
    g_main_context_iteration(context, TRUE);
    return;
  }
  // One turn as the context's own iteration runs it, with the poll's wait cut to the time-out:
  // no source to make and free on every turn.
  gint priority = 0;
  g_main_context_prepare(context, &priority);
  std::vector<GPollFD> fds(8);
  gint wait = 0;
  gint count;
  while ((count = g_main_context_query(context, priority, &wait, fds.data(),
                                       static_cast<gint>(fds.size()))) >
         static_cast<gint>(fds.size())) {
    fds.resize(static_cast<size_t>(count));
  }
  const gint bound = static_cast<gint>(std::clamp<int64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count(), 0, G_MAXINT));
  if (wait < 0 || wait > bound) wait = bound;
  g_main_context_get_poll_func(context)(fds.data(), static_cast<guint>(count), wait);
  g_main_context_check(context, priority, fds.data(), count);
  g_main_context_dispatch(context);
  g_main_context_release(context);
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
