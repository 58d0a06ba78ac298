#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/clock.h"

namespace platform {

using Work = std::function<void()>;

// A queue of work. Work given to async() never runs inline: it runs later, on the queue's thread.
// Work that throws is logged and dropped; the queue goes on.
class DispatchQueue {
 public:
  virtual ~DispatchQueue() = default;
  const std::string& label() const { return label_; }

  // Thread-safe: may be called from any thread.
  virtual void async(Work work) = 0;
  // Runs the work on the queue and waits for it; called on the queue itself it runs at once.
  void sync(const Work& work);
  // True while the calling thread is running this queue's work (for the main queue: on the main
  // thread).
  virtual bool isCurrent() const = 0;

 protected:
  explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

 private:
  std::string label_;
};

using QueuePtr = std::shared_ptr<DispatchQueue>;

// The main thread's queue, run by the GLib default main context.
const QueuePtr& mainQueue();
// A concurrent queue on a pool of worker threads (default priority).
const QueuePtr& globalQueue();
// A new serial queue: its work runs in order, one item at a time, on a thread of its own.
QueuePtr makeSerialQueue(std::string label);

// True on the thread that runs the main queue (the thread that started the process).
bool isMainThread();

// Runs work on the main queue: at once when already on the main thread, else asynchronously.
void runOnMainThread(Work work);

// Main thread only: runs one turn of the main loop, first waiting up to `timeout` for something
// to become ready. For code that must wait on the main thread while main-queue work goes on.
void runMainLoopOnce(Duration timeout);

// Main thread only: runs the main loop until the condition holds or `timeout` passes in real time,
// and answers whether the condition held. The condition is checked before the first turn and after
// each; when something other than the main loop's own work can make it true (another thread), give
// `pollEvery` so the loop wakes to look again that often. Code that waits this way must tolerate
// the main-loop work that runs meanwhile.
bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout,
                      std::optional<Duration> pollEvery = std::nullopt);

}  // namespace platform
