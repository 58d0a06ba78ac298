#pragma once

// Internal to URL loading: one libcurl multi handle, driven by a thread of its own, runs the
// transfers of every session. Other threads talk to it only by posting commands.

#include <curl/curl.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
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

  static CurlEngine& instance();

  // Runs the command on the engine thread after the ones posted before it. Any thread.
  void post(Command command);
  // Starts driving the task. Any thread.
  void start(TaskRun run);
  // Runs the work with the task's driver, when it still runs. Any thread.
  void withDriver(uint64_t taskIdentifier, std::function<void(TaskDriver&)> work);

  // Engine thread only.
  void addHandle(CURL* easy);
  void removeHandle(CURL* easy);
  // The task's driver flushes at the end of this turn of the engine.
  void flushLater(uint64_t taskIdentifier);
  // An easy handle in its initial state: one a finished task gave back when there is one, since
  // making a handle costs several times what resetting one does.
  CurlEasy takeEasyHandle();
  void giveBackEasyHandle(CurlEasy easy);

 private:
  CurlEngine();
  void run();
  // Each answers whether there was anything to do.
  bool runCommands();
  bool readFinishedTransfers();
  // Handles the drivers' deadlines that passed (time-outs, responses waiting for their body);
  // answers the poll time-out until the next one.
  int checkDeadlines();

  CURLM* multi_;
  Mutex mutex_;
  std::deque<Command> commands_ VKR_GUARDED_BY(mutex_);
  // Engine thread only.
  std::unordered_map<uint64_t, std::unique_ptr<TaskDriver>> drivers_;
  std::vector<uint64_t> toFlush_;
  std::vector<CurlEasy> spareHandles_;
};

}  // namespace platform::net
