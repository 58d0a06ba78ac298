#pragma once

// Internal to the dispatch module: the one timer scheduler behind dispatchAfter and
// scheduleRepeating, and the hooks the manual clock uses to fire timers in virtual time.

#include <condition_variable>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "platform/dispatch/timer.h"
#include "platform/foundation/thread_annotations.h"

namespace platform {

struct Timer::Shared {
  std::atomic<bool> cancelled{false};
  std::atomic<bool> started{false};
  Work work;
  std::weak_ptr<DispatchQueue> queue;
  Duration interval{0};          // zero for one-shot timers
  const Clock* clock = nullptr;  // the clock the timer was scheduled on
  // Position in the schedule; guarded by the scheduler's mutex.
  std::pair<MonotonicTime, uint64_t> key;
};

class TimerScheduler {
 public:
  static TimerScheduler& instance();

  Timer schedule(Duration delay, Duration interval, const QueuePtr& queue, Work work);
  void cancel(const std::shared_ptr<Timer::Shared>& timer);

  // Manual-clock support: the earliest due time of the clock's timers, and firing of every timer
  // of that clock due at `now`. Answers the queues that received work.
  std::optional<MonotonicTime> nextDue(const Clock* clock);
  std::vector<QueuePtr> fireDue(const Clock* clock, MonotonicTime now);
  // Drops the timers of a clock that goes away, and wakes the timer thread after a clock change.
  void forgetClock(const Clock* clock);
  void clockChanged();

 private:
  TimerScheduler() = default;
  void ensureThread() VKR_REQUIRES(mutex_);
  void run();
  std::vector<QueuePtr> fireDueLocked(const Clock* clock, MonotonicTime now) VKR_REQUIRES(mutex_);

  Mutex mutex_;
  std::condition_variable wake_;
  std::map<std::pair<MonotonicTime, uint64_t>, std::shared_ptr<Timer::Shared>> timers_
      VKR_GUARDED_BY(mutex_);
  uint64_t nextSequence_ VKR_GUARDED_BY(mutex_) = 0;
  bool threadStarted_ VKR_GUARDED_BY(mutex_) = false;
};

// The system clock, used whenever no manual clock is installed.
Clock& systemClock();
// Installs a clock (nullptr restores the system clock) and answers the previous one.
Clock* installClock(Clock* clock);

// Runs main-queue work until none is pending (bounded); main thread only.
void drainMainQueue();

}  // namespace platform
