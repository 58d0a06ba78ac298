#pragma once

// Internal to URL loading: a libcurl multi handle that runs transfers, and the tasks' drivers.
// There are two engines. Tasks whose delegate queue is the main queue run on the main loop: their
// bytes reach the delegate without a hand-over between threads, which costs more than the
// transfer itself on a loaded machine. Every other task runs on the network thread, and so does a
// body streamed by a writer, which may block its thread until the engine reads. Other threads
// talk to an engine only by posting commands.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/c_handles.h"
#include "platform/net/task_body.h"

namespace platform::net {

class TaskDriver;

class CurlEngine {
 public:
  using Command = std::function<void()>;

  // The engine that runs the task.
  static CurlEngine& of(const TaskRun& run);

  // Runs the command on the engine's thread after the ones posted before it. Any thread.
  void post(Command command);
  // Starts driving the task. Any thread.
  void start(TaskRun run);
  // Runs the work with the task's driver, when it still runs. Any thread.
  void withDriver(uint64_t taskIdentifier, std::function<void(TaskDriver&)> work);

  // The engine's thread only.
  void addHandle(CURL* easy);
  void removeHandle(CURL* easy);
  // The task's driver flushes at the end of this turn of the engine.
  void flushLater(uint64_t taskIdentifier);
  // An easy handle in its initial state: one a finished task gave back when there is one, since
  // making a handle costs several times what resetting one does.
  CurlEasy takeEasyHandle();
  void giveBackEasyHandle(CurlEasy easy);

 protected:
  CurlEngine();
  virtual ~CurlEngine();
  // Makes the engine's thread look at its commands soon.
  virtual void wake() = 0;
  // Sets up the multi handle just made, before other threads see it. The engine's thread.
  virtual void multiMade(CURLM* /*multi*/) {}

  // The multi handle, made for the first transfer: making it sets up libcurl and its TLS
  // library, megabytes that a task with nothing to transfer (a data URL) does not need. The
  // engine's thread only.
  CURLM* multi();
  // The multi handle when made, else null. Any thread.
  CURLM* madeMulti() const { return multi_.load(std::memory_order_acquire); }
  // Sleeps until a command is posted or the time passes; for the engine's thread while it has no
  // multi handle to wait on.
  void waitForCommand(std::chrono::milliseconds timeout);

  // Answers whether there was any command to run.
  bool runCommands();
  bool hasCommands();
  // What follows the transfers' progress in a turn: finished transfers, flushes and deadlines.
  // Answers whether a transfer finished; `wait` is how long the engine may sleep until a deadline
  // of a running task, none when nothing runs.
  bool endTurn(std::optional<std::chrono::milliseconds>& wait);

 private:
  bool readFinishedTransfers();
  // Handles the drivers' deadlines that passed (time-outs, responses waiting for their body);
  // answers the time until the next one.
  std::optional<std::chrono::milliseconds> checkDeadlines();

  std::atomic<CURLM*> multi_{nullptr};
  Mutex mutex_;
  std::condition_variable posted_;
  std::deque<Command> commands_ VKR_GUARDED_BY(mutex_);
  // The engine's thread only.
  std::unordered_map<uint64_t, std::unique_ptr<TaskDriver>> drivers_;
  std::vector<uint64_t> toFlush_;
  std::vector<CurlEasy> spareHandles_;
};

// The engine on a thread of its own.
CurlEngine& networkThreadEngine();
// The engine on the main thread's GLib loop (the default main context).
CurlEngine& mainLoopEngine();

}  // namespace platform::net
