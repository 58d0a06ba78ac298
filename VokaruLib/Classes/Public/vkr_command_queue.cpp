#include "VokaruLib/Classes/Public/vkr_command_queue.h"

#include <exception>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_json.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/while_alive.h"

using platform::Value;

// A batch keeps its place in the queue from the moment it arrives; it is empty (not parsed) while
// a worker parses it. Once parsed, only the main thread touches it.
struct VKRCommandQueue::BatchHolder {
  platform::Mutex mutex;
  bool parsed VKR_GUARDED_BY(mutex) = false;
  // Written by the parser before it sets `parsed` under the mutex; the main thread reads them only
  // after it saw `parsed` under the mutex.
  Value::Array entries;
  size_t next = 0;  // main thread only
};

namespace {

size_t utf16Length(std::string_view text) {
  size_t units = 0;
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // every sequence but its continuation bytes
    if (byte >= 0xF0) ++units;           // beyond the basic plane: a surrogate pair
  }
  return units;
}

// A batch that does not parse to an array is dropped; its holder then carries no commands.
Value::Array parseBatch(std::string_view text) {
  std::optional<Value> batch = vkr_JSONObject(text);
  if (!batch) return {};
  if (Value::Array* entries = batch->arrayIf()) return std::move(*entries);
  platform::log("ERROR: Command batch is not an array; dropped.");
  return {};
}

double millisecondsSince(platform::MonotonicTime start) {
  return platform::toSeconds(platform::monotonicNow() - start) * 1000.0;
}

}  // namespace

VKRCommandQueue::VKRCommandQueue(std::weak_ptr<VKRViewController> viewController)
    : viewController_(std::move(viewController)) {}

VKRCommandQueue::~VKRCommandQueue() = default;

void VKRCommandQueue::dispose() { viewController_.reset(); }

void VKRCommandQueue::enqueueCommandBatch(std::string_view batchJSON) {
  VKR_ASSERT_MAIN_THREAD();
  if (batchJSON.empty()) return;
  auto holder = std::make_shared<BatchHolder>();
  queue_.push_back(holder);
  if (batchJSON.size() > kMaxMainThreadBatchLength &&
      utf16Length(batchJSON) > kMaxMainThreadBatchLength) {
    platform::globalQueue()->async(
        [holder, text = std::string(batchJSON), weakSelf = weak_from_this()] {
          Value::Array entries = parseBatch(text);
          {
            platform::MutexLock lock(holder->mutex);
            holder->entries = std::move(entries);
            holder->parsed = true;
          }
          platform::mainQueue()->async(
              platform::whileAlive(weakSelf, &VKRCommandQueue::executePending));
        });
    return;
  }
  holder->entries = parseBatch(batchJSON);
  platform::MutexLock lock(holder->mutex);
  holder->parsed = true;
}

void VKRCommandQueue::fetchCommandsFromJs() {
  VKR_ASSERT_MAIN_THREAD();
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  std::shared_ptr<VKRWebViewEngineProtocol> engine =
      controller ? controller->webViewEngine() : nullptr;
  if (!engine) return;
  engine->evaluateJavaScript(
      kFetchMessagesScript,
      platform::whileAlive(weak_from_this(), [](VKRCommandQueue& self, const Value& result,
                                                const std::optional<platform::Error>& error) {
        const std::string* batch = result.stringIf();
        if (error || !batch) return;
        self.enqueueCommandBatch(*batch);
        self.executePending();
      }));
}

void VKRCommandQueue::requestExecutePending() {
  platform::mainQueue()->async(
      platform::whileAlive(weak_from_this(), &VKRCommandQueue::executePending));
}

void VKRCommandQueue::executePending() {
  VKR_ASSERT_MAIN_THREAD();
  if (startExecutionTime_) return;
  // An action may end the controller that owns this queue; the run finishes on a live object.
  const std::shared_ptr<VKRCommandQueue> keepAlive = weak_from_this().lock();
  const platform::MonotonicTime start = platform::monotonicNow();
  startExecutionTime_ = start;
  struct EndOfRun {
    std::optional<platform::MonotonicTime>& startTime;
    ~EndOfRun() { startTime.reset(); }
  } endOfRun{startExecutionTime_};

  while (!queue_.empty()) {
    const std::shared_ptr<BatchHolder> holder = queue_.front();
    {
      platform::MutexLock lock(holder->mutex);
      if (!holder->parsed) return;  // the parser asks for another run when it is done
    }
    if (holder->next == holder->entries.size()) {
      queue_.pop_front();
      continue;
    }
    while (holder->next < holder->entries.size()) {
      Value entry = std::move(holder->entries[holder->next++]);
      if (holder->next == holder->entries.size() && queue_.front() == holder) queue_.pop_front();
      platform::Result<VKRInvokedUrlCommand> command =
          VKRInvokedUrlCommand::commandFromJson(std::move(entry));
      if (command.ok()) {
        execute(*command);
      } else {
        platform::logf("ERROR: %s", command.error().localizedDescription().c_str());
      }
      if (!queue_.empty() &&
          platform::toSeconds(platform::monotonicNow() - start) > kMaxSliceSeconds) {
        requestExecutePending();
        return;
      }
    }
  }
}

bool VKRCommandQueue::execute(const VKRInvokedUrlCommand& command) {
  const std::string& service = command.className();
  const std::string& action = command.methodName();
  if (service.empty() || action.empty()) {
    platform::log("ERROR: Classname and/or methodName not found for command.");
    return false;
  }
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  std::shared_ptr<VKRCommandDelegate> delegate =
      controller ? controller->commandDelegate() : nullptr;
  std::shared_ptr<VKRPlugin> plugin = delegate ? delegate->getCommandInstance(service) : nullptr;
  if (!plugin) {
    platform::logf(
        "ERROR: Plugin '%s' not found, or is not a VKRPlugin. Check your plugin mapping in "
        "config.xml.",
        service.c_str());
    return false;
  }
  const platform::MonotonicTime started = platform::monotonicNow();
  bool ran = false;
  // A failing action is reported and the queue goes on with the next command.
  try {
    ran = plugin->performAction(action, command);
    if (!ran) {
      platform::logf("ERROR: Method '%s:' not defined in Plugin '%s'", action.c_str(),
                     service.c_str());
    }
  } catch (const std::exception& failure) {
    platform::logf("ERROR: Action '%s' of plugin '%s' failed: %s", action.c_str(), service.c_str(),
                   failure.what());
  } catch (...) {
    platform::logf("ERROR: Action '%s' of plugin '%s' failed", action.c_str(), service.c_str());
  }
  const double elapsed = millisecondsSince(started);
  if (elapsed > kSlowCommandMilliseconds) {
    platform::logf("THREAD WARNING: ['%s'] took '%f' ms. Plugin should use a background thread.",
                   service.c_str(), elapsed);
  }
  return ran;
}
