#include "ads/foundation/scheduler.h"

#include <vector>

#include "ads/foundation/block_timer.h"
#include "platform/foundation/log.h"

std::shared_ptr<ZADScheduler> ZADScheduler::make(double interval) {
  return std::shared_ptr<ZADScheduler>(new ZADScheduler(interval));
}

ZADScheduler::~ZADScheduler() { stop(); }

int64_t ZADScheduler::taskIDScheduledOnQueue(platform::QueuePtr queue,
                                             std::function<void()> block) {
  if (!queue || !block) return -1;
  platform::MutexLock lock(mutex_);
  const int64_t taskID = ++taskID_;
  blocks_[taskID] = Task{std::move(block), std::move(queue)};
  return taskID;
}

void ZADScheduler::unscheduleTaskWithID(int64_t taskID) {
  platform::MutexLock lock(mutex_);
  blocks_.erase(taskID);
}

void ZADScheduler::start() {
  platform::MutexLock lock(mutex_);
  if (timer_) return;
  timer_ = zad_scheduledTimerWithTimeInterval(interval_, true, interval_ / 10,
                                              [weak = weak_from_this()] {
                                                if (auto self = weak.lock()) self->executeBlocks();
                                              });
}

void ZADScheduler::stop() {
  platform::MutexLock lock(mutex_);
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}

void ZADScheduler::executeBlocks() {
  std::vector<Task> tasks;
  {
    platform::MutexLock lock(mutex_);
    for (const auto& [taskID, task] : blocks_) tasks.push_back(task);
  }
  for (Task& task : tasks) task.queue->async(std::move(task.block));
}

std::string ZADScheduler::description() const {
  platform::MutexLock lock(mutex_);
  return platform::format("ZADScheduler %p: %zu blocks, %f interval",
                          static_cast<const void*>(this), blocks_.size(), interval_);
}
