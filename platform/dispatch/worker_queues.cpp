#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_work.h"

namespace platform {

namespace {

// Identifies the queue whose work the calling thread is running.
thread_local const void* tCurrentQueue = nullptr;

class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const void* queue) : previous_(tCurrentQueue) {
    tCurrentQueue = queue;
  }
  ~CurrentQueueScope() { tCurrentQueue = previous_; }

 private:
  const void* previous_;
};

// A serial queue with a thread of its own, started with the first work. Work still queued when
// the queue goes away is run before its thread ends, so nothing given to it is lost. The thread
// shares the queue's state rather than the queue, since the queue may be released by its own work.
class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label)
      : DispatchQueue(std::move(label)), state_(std::make_shared<State>()) {
    state_->label = this->label();
  }

  ~SerialQueue() override {
    {
      MutexLock lock(state_->mutex);
      state_->stopping = true;
    }
    state_->ready.notify_all();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // released by its own work: the thread drains what is left, then ends
    } else {
      thread_.join();
    }
  }

  void async(Work work) override {
    {
      MutexLock lock(state_->mutex);
      state_->items.push_back(std::move(work));
      if (!thread_.joinable()) thread_ = std::thread([state = state_] { run(*state); });
    }
    state_->ready.notify_one();
  }

  bool isCurrent() const override { return tCurrentQueue == state_.get(); }

 private:
  struct State {
    std::string label;
    Mutex mutex;
    std::condition_variable ready;
    std::deque<Work> items VKR_GUARDED_BY(mutex);
    bool stopping VKR_GUARDED_BY(mutex) = false;
  };

  static void run(State& state) {
    CurrentQueueScope scope(&state);
    MutexLock lock(state.mutex);
    for (;;) {
      while (!state.stopping && state.items.empty()) lock.wait(state.ready);
      if (state.items.empty()) return;  // stopping and drained
      runFront(state.label, lock, state.items);
    }
  }

  std::shared_ptr<State> state_;
  std::thread thread_;
};

// The global concurrent queue: a fixed pool of worker threads that lives as long as the process.
// Work wakes the worker that went idle last, so a steady trickle of work keeps running on the same
// warm thread (its caches and its malloc arena) instead of touching every worker in turn.
class GlobalQueue final : public DispatchQueue {
 public:
  GlobalQueue() : DispatchQueue("global") {
    unsigned count = std::max(4u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i) std::thread([this] { run(); }).detach();
  }

  void async(Work work) override {
    MutexLock lock(mutex_);
    items_.push_back(std::move(work));
    if (idle_.empty()) return;  // every worker is busy; one takes it when done
    IdleWorker* worker = idle_.back();
    idle_.pop_back();
    worker->woken = true;
    worker->wake.notify_one();
  }

  bool isCurrent() const override { return tCurrentQueue == this; }

 private:
  struct IdleWorker {
    std::condition_variable wake;
    bool woken = false;
  };

  void run() {
    CurrentQueueScope scope(this);
    MutexLock lock(mutex_);
    for (;;) {
      if (items_.empty()) {
        IdleWorker self;
        idle_.push_back(&self);
        while (!self.woken) lock.wait(self.wake);
        continue;
      }
      runFront(label(), lock, items_);
    }
  }

  Mutex mutex_;
  std::deque<Work> items_ VKR_GUARDED_BY(mutex_);
  // Waiting workers, the most recently idle last; their `woken` is guarded by mutex_ too.
  std::vector<IdleWorker*> idle_ VKR_GUARDED_BY(mutex_);
};

}  // namespace

const QueuePtr& globalQueue() {
  static GlobalQueue* instance = new GlobalQueue();  // worker threads outlive static destruction
  static const QueuePtr queue(instance, [](DispatchQueue*) {});
  return queue;
}

QueuePtr makeSerialQueue(std::string label) {
  return std::make_shared<SerialQueue>(std::move(label));
}

}  // namespace platform
