#include "platform/dispatch/timer.h"

#include "platform/dispatch/scheduler.h"

namespace platform {

void Timer::cancel() {
  if (shared_) TimerScheduler::instance().cancel(shared_);
}

bool Timer::isValid() const {
  return shared_ && !shared_->cancelled.load() &&
         (shared_->interval.count() > 0 || !shared_->started.load());
}

Timer dispatchAfter(Duration delay, const QueuePtr& queue, Work work) {
  return TimerScheduler::instance().schedule(delay, Duration{0}, queue, std::move(work));
}

Timer scheduleRepeating(Duration interval, const QueuePtr& queue, Work work) {
  if (interval.count() <= 0) interval = Duration{1};
  return TimerScheduler::instance().schedule(interval, interval, queue, std::move(work));
}

TimerScheduler& TimerScheduler::instance() {
  // Never destroyed: timers may still be cancelled from static destructors.
  static TimerScheduler* scheduler = new TimerScheduler();
  return *scheduler;
}

Timer TimerScheduler::schedule(Duration delay, Duration interval, const QueuePtr& queue,
                               Work work) {
  auto timer = std::make_shared<Timer::Shared>();
  timer->work = std::move(work);
  timer->queue = queue;
  timer->interval = interval;
  Clock& current = clock();
  timer->clock = &current;
  const MonotonicTime due = current.monotonicNow() + std::max(delay, Duration{0});
  {
    MutexLock lock(mutex_);
    timer->key = {due, nextSequence_++};
    timers_.emplace(timer->key, timer);
    ensureThread();
  }
  wake_.notify_all();
  return Timer(timer);
}

void TimerScheduler::cancel(const std::shared_ptr<Timer::Shared>& timer) {
  timer->cancelled.store(true);
  MutexLock lock(mutex_);
  auto it = timers_.find(timer->key);
  if (it != timers_.end() && it->second == timer) timers_.erase(it);
}

std::optional<MonotonicTime> TimerScheduler::nextDue(const Clock* clock) {
  MutexLock lock(mutex_);
  for (const auto& [key, timer] : timers_) {
    if (timer->clock == clock) return key.first;
  }
  return std::nullopt;
}

std::vector<QueuePtr> TimerScheduler::fireDue(const Clock* clock, MonotonicTime now) {
  MutexLock lock(mutex_);
  return fireDueLocked(clock, now);
}

std::vector<QueuePtr> TimerScheduler::fireDueLocked(const Clock* clock, MonotonicTime now) {
  std::vector<QueuePtr> targets;
  for (auto it = timers_.begin(); it != timers_.end() && it->first.first <= now;) {
    std::shared_ptr<Timer::Shared> timer = it->second;
    if (timer->clock != clock) {
      ++it;
      continue;
    }
    it = timers_.erase(it);
    QueuePtr queue = timer->queue.lock();
    if (!queue) continue;  // the queue is gone, and with it the reason to fire
    if (timer->interval.count() > 0) {
      MonotonicTime next = timer->key.first + timer->interval;
      if (next <= now) next = now + timer->interval;
      timer->key = {next, nextSequence_++};
      timers_.emplace(timer->key, timer);
    }
    queue->async([timer] {
      if (timer->cancelled.load()) return;
      timer->started.store(true);
      timer->work();
    });
    targets.push_back(std::move(queue));
  }
  return targets;
}

void TimerScheduler::forgetClock(const Clock* clock) {
  MutexLock lock(mutex_);
  std::erase_if(timers_, [clock](const auto& entry) { return entry.second->clock == clock; });
}

void TimerScheduler::clockChanged() { wake_.notify_all(); }

void TimerScheduler::ensureThread() {
  if (threadStarted_) return;
  threadStarted_ = true;
  std::thread([this] { run(); }).detach();
}

void TimerScheduler::run() {
  Clock* real = &systemClock();
  MutexLock lock(mutex_);
  for (;;) {
    fireDueLocked(real, real->monotonicNow());
    std::optional<MonotonicTime> next;
    for (const auto& [key, timer] : timers_) {
      if (timer->clock == real) {
        next = key.first;
        break;
      }
    }
    if (next) {
      lock.waitUntil(wake_, *next);
    } else {
      lock.wait(wake_);
    }
  }
}

}  // namespace platform
