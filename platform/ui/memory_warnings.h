#pragma once

#include <gio/gio.h>

namespace platform::ui {

// Turns the system's low-memory warnings (GIO's memory monitor, backed by the low-memory monitor
// service or the desktop portal where the system has them; silent elsewhere) into the
// application's memory warnings, delivered on the main thread. Lives as long as the app should
// hear them. Main thread only.
class MemoryWarnings {
 public:
  MemoryWarnings();
  ~MemoryWarnings();
  MemoryWarnings(const MemoryWarnings&) = delete;
  MemoryWarnings& operator=(const MemoryWarnings&) = delete;

  // The monitor listened to; tests emit its "low-memory-warning" signal.
  GMemoryMonitor* monitor() const { return monitor_; }

 private:
  GMemoryMonitor* monitor_ = nullptr;
  gulong handler_ = 0;
};

}  // namespace platform::ui
