#include "platform/dispatch/group.h"

#include <utility>

namespace platform {

struct DispatchGroup::State {
  Mutex mutex;
  std::condition_variable empty;
  int count VKR_GUARDED_BY(mutex) = 0;
  std::vector<std::pair<QueuePtr, Work>> waiting VKR_GUARDED_BY(mutex);
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
  MutexLock lock(state_->mutex);
  ++state_->count;
}

void DispatchGroup::leave() {
  std::vector<std::pair<QueuePtr, Work>> ready;
  {
    MutexLock lock(state_->mutex);
    if (state_->count == 0) return;  // unbalanced leave: ignored rather than going negative
    if (--state_->count > 0) return;
    ready.swap(state_->waiting);
  }
  state_->empty.notify_all();
  for (auto& [queue, work] : ready) queue->async(std::move(work));
}

void DispatchGroup::async(const QueuePtr& queue, Work work) {
  enter();
  queue->async([group = *this, work = std::move(work)]() mutable {
    struct LeaveOnExit {
      DispatchGroup& group;
      ~LeaveOnExit() { group.leave(); }
    } leave{group};
    work();
  });
}

void DispatchGroup::notify(const QueuePtr& queue, Work work) {
  {
    MutexLock lock(state_->mutex);
    if (state_->count > 0) {
      state_->waiting.emplace_back(queue, std::move(work));
      return;
    }
  }
  queue->async(std::move(work));
}

bool DispatchGroup::wait(Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(state_->mutex);
  while (state_->count != 0) {
    if (!lock.waitUntil(state_->empty, deadline)) return state_->count == 0;
  }
  return true;
}

}  // namespace platform
