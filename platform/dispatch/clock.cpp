#include <atomic>
#include <set>

#include "platform/dispatch/scheduler.h"

namespace platform {

namespace {
class SystemClock final : public Clock {
 public:
  MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
  Date wallNow() const override {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration<double>(since).count()};
  }
};

std::atomic<Clock*> currentClock{nullptr};
}  // namespace

Clock& systemClock() {
  // Never destroyed: the timer thread and the URL-loading engine's read it until the process is
  // gone, also while static objects are destroyed at exit.
  static SystemClock* instance = new SystemClock();
  return *instance;
}

Clock& clock() {
  Clock* installed = currentClock.load(std::memory_order_acquire);
  return installed ? *installed : systemClock();
}

Clock* installClock(Clock* clock) {
  Clock* previous = currentClock.exchange(clock, std::memory_order_acq_rel);
  TimerScheduler::instance().clockChanged();
  return previous;
}

struct ManualClock::State {
  mutable Mutex mutex;
  MonotonicTime monotonic VKR_GUARDED_BY(mutex);
  Date wall VKR_GUARDED_BY(mutex);
};

ManualClock::ManualClock(Date start) : state_(std::make_unique<State>()) {
  {
    MutexLock lock(state_->mutex);
    state_->monotonic = std::chrono::steady_clock::now();
    state_->wall = start;
  }
  previous_ = installClock(this);
}

ManualClock::~ManualClock() {
  installClock(previous_);
  TimerScheduler::instance().forgetClock(this);
}

MonotonicTime ManualClock::monotonicNow() const {
  MutexLock lock(state_->mutex);
  return state_->monotonic;
}

Date ManualClock::wallNow() const {
  MutexLock lock(state_->mutex);
  return state_->wall;
}

void ManualClock::advance(Duration by) {
  const auto moveTo = [this](MonotonicTime to) {
    MutexLock lock(state_->mutex);
    if (to <= state_->monotonic) return;
    state_->wall.secondsSince1970 += toSeconds(to - state_->monotonic);
    state_->monotonic = to;
  };
  TimerScheduler& scheduler = TimerScheduler::instance();
  const MonotonicTime target = monotonicNow() + by;
  // Each firing may schedule more work inside the window, so look again after every step.
  for (;;) {
    std::optional<MonotonicTime> due = scheduler.nextDue(this);
    if (!due || *due > target) break;
    moveTo(*due);
    std::set<DispatchQueue*> settled;
    for (const QueuePtr& queue : scheduler.fireDue(this, *due)) {
      if (!settled.insert(queue.get()).second) continue;
      if (queue == mainQueue()) {
        if (isMainThread()) drainMainQueue();
      } else if (queue != globalQueue() && !queue->isCurrent()) {
        queue->sync([] {});
      }
    }
  }
  moveTo(target);
}

}  // namespace platform
