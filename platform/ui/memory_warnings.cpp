#include "platform/ui/memory_warnings.h"

#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"

namespace platform::ui {

namespace {

void onLowMemoryWarning(GMemoryMonitor*, GMemoryMonitorWarningLevel, gpointer) {
  // The monitor may signal from its own thread; the application lives on the main one.
  runOnMainThread([] { Application::shared().receiveMemoryWarning(); });
}

}  // namespace

MemoryWarnings::MemoryWarnings() : monitor_(g_memory_monitor_dup_default()) {
  if (monitor_) {
    handler_ =
        g_signal_connect(monitor_, "low-memory-warning", G_CALLBACK(onLowMemoryWarning), nullptr);
  }
}

MemoryWarnings::~MemoryWarnings() {
  if (!monitor_) return;
  g_signal_handler_disconnect(monitor_, handler_);
  g_object_unref(monitor_);
}

}  // namespace platform::ui
