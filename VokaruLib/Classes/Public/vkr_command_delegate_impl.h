#pragma once

#include <memory>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/foundation/thread_annotations.h"

class VKRCommandQueue;
class VKRViewController;

// The runtime's command delegate: turns plugin results into the page's callback calls and runs
// script in the page through the controller's engine. Owned by its controller through a
// shared_ptr; answers that arrive after the controller is gone do nothing.
class VKRCommandDelegateImpl : public VKRCommandDelegate,
                               public std::enable_shared_from_this<VKRCommandDelegateImpl> {
 public:
  // Script texts the page's exec module understands.
  static constexpr const char* kNativeCallbackPrefix =
      "vokaru.require('vokaru/exec').nativeCallback(";
  static constexpr const char* kEvalAndFetchPrefix =
      "try{vokaru.require('vokaru/exec').nativeEvalAndFetch(function(){";
  static constexpr const char* kEvalAndFetchSuffix =
      "})}catch(e){console.log('exeption nativeEvalAndFetch : '+e);};";
  static constexpr size_t kMaxCallbackIdLength = 100;

  // Takes the controller's command queue; call after the controller made it.
  explicit VKRCommandDelegateImpl(const std::shared_ptr<VKRViewController>& viewController);

  // Ids of at most 100 characters of A-Z, a-z, 0-9, ".", "_" and "-": nothing that could leave
  // the quoted place an id has in the callback script.
  static bool isValidCallbackId(const std::optional<std::string>& callbackId);
  // "vokaru.require('vokaru/exec').nativeCallback('<id>',<status>,<message JSON>,<keep>, 0)"
  static std::string callbackScript(const VKRPluginResult& result, std::string_view callbackId);

  std::optional<std::string> pathForResource(std::string_view resourcePath) override;
  std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName) override;
  void sendPluginResult(const VKRPluginResult& result,
                        const std::optional<std::string>& callbackId) override;
  void evalJs(std::string_view js) override;
  void evalJsScheduledOnRunLoop(std::string_view js, bool scheduledOnRunLoop) override;
  void runInBackground(std::function<void()> work) override;
  std::string userAgent() override;
  platform::Dictionary settings() override;
  URLTransformer urlTransformer() override;
  void setUrlTransformer(URLTransformer transformer) override;

  // Runs the command queue with every evaluation deferred to a later turn of the main loop, for
  // hosts that must keep evaluations out of the running slice.
  void flushCommandQueueWithDelayedJs();

 private:
  // Evaluates at once when called from inside an action (main thread, a run going, responses not
  // delayed), else in a later turn of the main loop, so answers arrive in order.
  void evalJsHelper(std::string js);
  // Evaluates now; the text the page answers is a batch of further commands.
  void evalJsHelper2(const std::string& js);

  std::weak_ptr<VKRViewController> viewController_;
  std::weak_ptr<VKRCommandQueue> commandQueue_;
  bool delayResponses_ = false;
  platform::Mutex transformerMutex_;
  URLTransformer urlTransformer_ VKR_GUARDED_BY(transformerMutex_);
};
