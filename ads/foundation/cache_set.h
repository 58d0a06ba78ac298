#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>

#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"

// A bounded pool of reusable objects (pre-warmed views, ...), emptied when the system warns of
// low memory. Thread-safe: every access runs on the set's own serial queue; additions are
// asynchronous and removals synchronous, so an anyObject() after an addObject() from the same
// thread sees the addition. Subclasses may refine addObject() and anyObject().
template <typename T>
class ZADCacheSet {
 public:
  explicit ZADCacheSet(size_t maxCapacity) : state_(std::make_shared<State>()) {
    state_->maxCapacity = maxCapacity;
    state_->lockQueue = platform::makeSerialQueue("com.zorova.zizov.cache-set");
    observer_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationDidReceiveMemoryWarningNotification, nullptr,
        [weak = std::weak_ptr<State>(state_)](const platform::Notification&) {
          if (auto state = weak.lock()) removeAll(*state);
        },
        platform::mainQueue());
  }
  virtual ~ZADCacheSet() = default;
  ZADCacheSet(const ZADCacheSet&) = delete;
  ZADCacheSet& operator=(const ZADCacheSet&) = delete;

  // Kept only while the set holds fewer than maxCapacity objects; a full set drops it.
  virtual void addObject(std::shared_ptr<T> object) {
    if (!object) return;
    state_->lockQueue->async([state = state_, object = std::move(object)] {
      if (state->set.size() < state->maxCapacity) state->set.insert(object);
    });
  }

  // Takes some object out of the set; null when it is empty.
  virtual std::shared_ptr<T> anyObject() {
    std::shared_ptr<T> taken;
    state_->lockQueue->sync([&] {
      if (state_->set.empty()) return;
      taken = *state_->set.begin();
      state_->set.erase(state_->set.begin());
    });
    return taken;
  }

  void removeAllObjects() { removeAll(*state_); }
  size_t maxCapacity() const { return state_->maxCapacity; }

 private:
  // Shared with queued work and held weakly by the memory-warning observer, so neither outlives
  // the set's contents by accident nor touches a destroyed set.
  struct State {
    platform::QueuePtr lockQueue;
    size_t maxCapacity = 0;
    std::unordered_set<std::shared_ptr<T>> set;  // touched only on lockQueue
  };
  static void removeAll(State& state) {
    state.lockQueue->sync([&] { state.set.clear(); });
  }

  std::shared_ptr<State> state_;
  platform::NotificationCenter::Observation observer_;
};
