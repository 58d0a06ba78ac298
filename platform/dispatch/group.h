#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"

namespace platform {

// Tracks a set of tasks: enter() before each, leave() after; notify() work runs once all have
// left. Shared by copies.
class DispatchGroup {
 public:
  DispatchGroup();

  void enter();
  void leave();
  // Runs work on the queue and tracks it.
  void async(const QueuePtr& queue, Work work);
  // Runs work on the queue once the group is empty (at once, asynchronously, when it already is).
  void notify(const QueuePtr& queue, Work work);
  // Blocks until the group is empty or the timeout (real time) passes; answers true when empty.
  bool wait(Duration timeout);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
