#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_work.h"

namespace platform {

namespace {

thread_local const DispatchQueue* tCurrentQueue = nullptr;

class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const DispatchQueue* queue) : previous_(tCurrentQueue) {
    tCurrentQueue = queue;
  }
  ~CurrentQueueScope() { tCurrentQueue = previous_; }

 private:
  const DispatchQueue* previous_;
};

// A serial queue with a thread of its own, started with the first work. Work still queued when
// the queue goes away is run before its thread ends, so nothing given to it is lost.
class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label) : DispatchQueue(std::move(label)) {}

  ~SerialQueue() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // released by its own work: the loop ends after this item
    } else {
      thread_.join();
    }
  }

  void async(Work work) override {
    {
      std::lock_guard lock(mutex_);
      items_.push_back(std::move(work));
      if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    ready_.notify_one();
  }

  bool isCurrent() const override { return tCurrentQueue == this; }

 private:
  void run() {
    CurrentQueueScope scope(this);
    std::unique_lock lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return stopping_ || !items_.empty(); });
      if (items_.empty()) return;  // stopping and drained
      runFront(*this, lock, items_);
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Work> items_;
  bool stopping_ = false;
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
    std::lock_guard lock(mutex_);
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
    std::unique_lock lock(mutex_);
    for (;;) {
      if (items_.empty()) {
        IdleWorker self;
        idle_.push_back(&self);
        self.wake.wait(lock, [&self] { return self.woken; });
        continue;
      }
      runFront(*this, lock, items_);
    }
  }

  std::mutex mutex_;
  std::deque<Work> items_;
  // Waiting workers, the most recently idle last.
  std::vector<IdleWorker*> idle_;
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
