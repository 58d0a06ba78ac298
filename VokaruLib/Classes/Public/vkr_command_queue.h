#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "VokaruLib/Classes/Public/vkr_invoked_url_command.h"
#include "platform/dispatch/clock.h"

class VKRViewController;

// Takes the page's command batches (JSON arrays of command entries), parses them and runs their
// commands one by one on the main thread, each through its plugin's action. Batches and the
// commands in them run in arrival order. The main thread stays responsive: a batch longer than
// 4095 UTF-16 units is parsed on the global queue, and a run yields to the main loop after the
// first command that ends more than 8 ms after the run began.
// Main thread only. Owned by its controller through a shared_ptr.
class VKRCommandQueue : public std::enable_shared_from_this<VKRCommandQueue> {
 public:
  static constexpr size_t kMaxMainThreadBatchLength = 4095;  // UTF-16 units
  static constexpr double kMaxSliceSeconds = 0.008;
  static constexpr double kSlowCommandMilliseconds = 10.0;
  // Evaluated in the page to pull the commands it has queued.
  static constexpr const char* kFetchMessagesScript =
      "vokaru.require('vokaru/exec').nativeFetchMessages()";

  explicit VKRCommandQueue(std::weak_ptr<VKRViewController> viewController);
  ~VKRCommandQueue();

  // Forgets the controller.
  void dispose();
  int64_t lastCommandQueueFlushRequestId() const { return lastCommandQueueFlushRequestId_; }
  // A page starts loading.
  void resetRequestId() { lastCommandQueueFlushRequestId_ = 0; }

  // Queues a batch (empty text is ignored). A batch that does not parse to an array is logged and
  // dropped; it never holds up the batches behind it.
  void enqueueCommandBatch(std::string_view batchJSON);
  // Pulls the page's queued commands through the engine, then runs them.
  void fetchCommandsFromJs();
  // Runs queued commands; returns at once when a run is already going (also from inside an action).
  void executePending();
  // Runs one command through its plugin's action; false (and a log line) when none ran.
  bool execute(const VKRInvokedUrlCommand& command);
  // True while a run is going.
  bool currentlyExecuting() const { return startExecutionTime_.has_value(); }

 private:
  struct BatchHolder;

  void requestExecutePending();

  int64_t lastCommandQueueFlushRequestId_ = 0;
  std::weak_ptr<VKRViewController> viewController_;
  std::deque<std::shared_ptr<BatchHolder>> queue_;
  std::optional<platform::MonotonicTime> startExecutionTime_;
};
