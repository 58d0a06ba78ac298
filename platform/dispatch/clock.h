#pragma once

#include <chrono>
#include <memory>

#include "platform/foundation/value.h"

namespace platform {

using Duration = std::chrono::nanoseconds;
using MonotonicTime = std::chrono::steady_clock::time_point;

// A duration from a number of seconds, as the platform's time intervals are given.
inline Duration seconds(double s) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}
inline double toSeconds(Duration d) { return std::chrono::duration<double>(d).count(); }

// The source of time for every delay, timer and time stamp. Tests install a ManualClock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual MonotonicTime monotonicNow() const = 0;
  virtual Date wallNow() const = 0;
};

// The clock in use (the system's unless a test installed another).
Clock& clock();
// Shorthands for the clock in use.
inline MonotonicTime monotonicNow() { return clock().monotonicNow(); }
inline Date now() { return clock().wallNow(); }

// Virtual time for tests. Installed for its lifetime; time moves only through advance(), which
// fires the timers that fall due in order, each at its own time, and lets their work run before
// firing the next (work on the main queue runs when advance() is called on the main thread;
// work on serial queues is waited for).
class ManualClock final : public Clock {
 public:
  // Starts at a fixed wall time so results do not depend on the day tests run.
  explicit ManualClock(Date start = Date{1'800'000'000.0});
  ~ManualClock() override;
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  MonotonicTime monotonicNow() const override;
  Date wallNow() const override;

  void advance(Duration by);
  void advanceSeconds(double s) { advance(seconds(s)); }

 private:
  struct State;
  std::unique_ptr<State> state_;
  Clock* previous_;
};

}  // namespace platform
