#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/thread_annotations.h"

// Runs registered blocks on their queues every interval, from one repeating main-queue timer.
// Thread-safe (its callers register and start it from the main thread).
class ZADScheduler : public std::enable_shared_from_this<ZADScheduler> {
 public:
  static std::shared_ptr<ZADScheduler> make(double interval);
  ~ZADScheduler();
  ZADScheduler(const ZADScheduler&) = delete;
  ZADScheduler& operator=(const ZADScheduler&) = delete;

  // The new task's id (1, 2, 3, ... per scheduler), or -1 when the queue or block is missing
  // (no id is used up then).
  int64_t taskIDScheduledOnQueue(platform::QueuePtr queue, std::function<void()> block);
  void unscheduleTaskWithID(int64_t taskID);
  // Starts the repeating timer (tolerance a tenth of the interval); a running scheduler ignores
  // it.
  void start();
  // Stops the timer; tasks stay registered.
  void stop();
  // Queues every task's block on its queue, in task-id order.
  void executeBlocks();

  double interval() const { return interval_; }
  // "ZADScheduler <address>: <n> blocks, <interval> interval"
  std::string description() const;

 private:
  struct Task {
    std::function<void()> block;
    platform::QueuePtr queue;
  };
  explicit ZADScheduler(double interval) : interval_(interval) {}

  const double interval_;
  mutable platform::Mutex mutex_;
  std::map<int64_t, Task> blocks_ VKR_GUARDED_BY(mutex_);
  int64_t taskID_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<platform::Timer> timer_ VKR_GUARDED_BY(mutex_);
};
