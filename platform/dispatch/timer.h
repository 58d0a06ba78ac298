#pragma once

#include <atomic>
#include <memory>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"

namespace platform {

// A handle on scheduled work. Copies share the timer; cancel() stops every later firing (work
// already running is not interrupted). Dropping the handle does not cancel.
class Timer {
 public:
  Timer() = default;
  void cancel();
  // True until cancelled or, for one-shot timers, until the work has started.
  bool isValid() const;

 private:
  friend class TimerScheduler;
  struct Shared;
  explicit Timer(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  std::shared_ptr<Shared> shared_;
};

// Runs work once on the queue after the delay (measured on the clock in use).
Timer dispatchAfter(Duration delay, const QueuePtr& queue, Work work);
// Runs work on the queue every interval until cancelled; the first run is one interval from now.
Timer scheduleRepeating(Duration interval, const QueuePtr& queue, Work work);

}  // namespace platform
