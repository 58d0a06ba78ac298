#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"

#include <filesystem>

#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/foundation/while_alive.h"
#include "platform/storage/bundle.h"

using platform::Value;

VKRCommandDelegateImpl::VKRCommandDelegateImpl(
    const std::shared_ptr<VKRViewController>& viewController)
    : viewController_(viewController), commandQueue_(viewController->commandQueue()) {}

bool VKRCommandDelegateImpl::isValidCallbackId(const std::optional<std::string>& callbackId) {
  if (!callbackId || callbackId->size() > kMaxCallbackIdLength) return false;
  for (char c : *callbackId) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

std::string VKRCommandDelegateImpl::callbackScript(const VKRPluginResult& result,
                                                   std::string_view callbackId) {
  const std::string message = result.argumentsAsJSON();
  std::string script;
  script.reserve(64 + callbackId.size() + message.size());
  script += kNativeCallbackPrefix;
  script += '\'';
  script += callbackId;
  script += "',";
  script += std::to_string(result.status());
  script += ',';
  script += message;
  script += result.keepCallback() ? ",1, 0)" : ",0, 0)";
  return script;
}

std::optional<std::string> VKRCommandDelegateImpl::pathForResource(std::string_view resourcePath) {
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  if (!controller) return std::nullopt;
  const size_t slash = resourcePath.rfind('/');
  std::string folder = controller->wwwFolderName();
  if (slash != std::string_view::npos && slash > 0) {
    folder += '/';
    folder += resourcePath.substr(0, slash);
  }
  const std::string_view fileName =
      slash == std::string_view::npos ? resourcePath : resourcePath.substr(slash + 1);
  if (fileName.empty()) return std::nullopt;
  std::optional<std::filesystem::path> path =
      platform::Bundle::mainBundle()->pathForResource(fileName, "", folder);
  if (!path) return std::nullopt;
  return path->string();
}

std::shared_ptr<VKRPlugin> VKRCommandDelegateImpl::getCommandInstance(std::string_view pluginName) {
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  return controller ? controller->getCommandInstance(pluginName) : nullptr;
}

void VKRCommandDelegateImpl::sendPluginResult(const VKRPluginResult& result,
                                              const std::optional<std::string>& callbackId) {
  if (callbackId == "INVALID") return;
  if (!isValidCallbackId(callbackId)) {
    platform::log("Invalid callback id received by sendPluginResult");
    return;
  }
  evalJsHelper(callbackScript(result, *callbackId));
}

void VKRCommandDelegateImpl::evalJs(std::string_view js) { evalJsScheduledOnRunLoop(js, true); }

void VKRCommandDelegateImpl::evalJsScheduledOnRunLoop(std::string_view js,
                                                      bool scheduledOnRunLoop) {
  std::string wrapped;
  wrapped.reserve(js.size() + 128);
  wrapped += kEvalAndFetchPrefix;
  wrapped += js;
  wrapped += kEvalAndFetchSuffix;
  // Evaluating at once is for the main thread; elsewhere it waits for the main loop.
  if (scheduledOnRunLoop || !platform::isMainThread()) {
    evalJsHelper(std::move(wrapped));
  } else {
    evalJsHelper2(wrapped);
  }
}

void VKRCommandDelegateImpl::evalJsHelper(std::string js) {
  if (platform::isMainThread() && !delayResponses_) {
    std::shared_ptr<VKRCommandQueue> queue = commandQueue_.lock();
    if (queue && queue->currentlyExecuting()) {
      evalJsHelper2(js);
      return;
    }
  }
  platform::mainQueue()->async(platform::whileAlive(
      weak_from_this(),
      [js = std::move(js)](VKRCommandDelegateImpl& self) { self.evalJsHelper2(js); }));
}

void VKRCommandDelegateImpl::evalJsHelper2(const std::string& js) {
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  std::shared_ptr<VKRWebViewEngineProtocol> engine =
      controller ? controller->webViewEngine() : nullptr;
  if (!engine) return;
  engine->evaluateJavaScript(
      js, platform::whileAlive(commandQueue_, [](VKRCommandQueue& queue, const Value& result,
                                                 const std::optional<platform::Error>&) {
        const std::string* batch = result.stringIf();
        if (!batch) return;
        queue.enqueueCommandBatch(*batch);
        queue.executePending();
      }));
}

void VKRCommandDelegateImpl::runInBackground(std::function<void()> work) {
  platform::globalQueue()->async(std::move(work));
}

std::string VKRCommandDelegateImpl::userAgent() {
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  return controller ? controller->userAgent() : std::string();
}

platform::Dictionary VKRCommandDelegateImpl::settings() {
  std::shared_ptr<VKRViewController> controller = viewController_.lock();
  return controller ? controller->settings() : platform::Dictionary();
}

VKRCommandDelegate::URLTransformer VKRCommandDelegateImpl::urlTransformer() {
  platform::MutexLock lock(transformerMutex_);
  return urlTransformer_;
}

void VKRCommandDelegateImpl::setUrlTransformer(URLTransformer transformer) {
  platform::MutexLock lock(transformerMutex_);
  urlTransformer_ = std::move(transformer);
}

void VKRCommandDelegateImpl::flushCommandQueueWithDelayedJs() {
  std::shared_ptr<VKRCommandQueue> queue = commandQueue_.lock();
  if (!queue) return;
  delayResponses_ = true;
  queue->executePending();
  delayResponses_ = false;
}
