// Arbitrary text as a page command batch, through parsing and dispatch to a table of fake
// plugins. Properties: nothing crashes; the queue never sticks (a batch queued after the input
// always runs); every script that reaches the page is one callback line with a safe id and a
// message that is valid JSON, or the evalJs wrapper.
#include <cstdlib>
#include <string>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::Value;

bool sentinelRan = false;

class FuzzPlugin : public VKRPlugin {
 public:
  explicit FuzzPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("echo", &FuzzPlugin::echo);
    addAction("multipart", &FuzzPlugin::multipart);
    addAction("error", &FuzzPlugin::error);
    addAction("eval", &FuzzPlugin::eval);
    addAction("throw", &FuzzPlugin::fail);
    addAction("sentinel", &FuzzPlugin::sentinel);
  }

 private:
  void echo(const VKRInvokedUrlCommand& command) {
    VKRPluginResult result(kVKRCommandStatusOK, command.argumentAtIndex(0));
    result.setKeepCallbackAsBool(command.argumentAtIndex(1).boolOr(false));
    commandDelegate()->sendPluginResult(result, command.callbackId());
  }
  void multipart(const VKRInvokedUrlCommand& command) {
    commandDelegate()->sendPluginResult(
        VKRPluginResult::resultWithStatusMessageAsMultipart(1, command.arguments()),
        command.callbackId());
  }
  void error(const VKRInvokedUrlCommand& command) {
    commandDelegate()->sendPluginResult(
        VKRPluginResult::resultWithStatusMessageToErrorObject(
            9, static_cast<int32_t>(command.argumentAtIndex(0).intOr(0))),
        command.callbackId());
  }
  void eval(const VKRInvokedUrlCommand& command) {
    commandDelegate()->evalJs(command.argumentAtIndex(0).stringOr(""));
  }
  void fail(const VKRInvokedUrlCommand&) { throw std::runtime_error("fuzz"); }
  void sentinel(const VKRInvokedUrlCommand&) { sentinelRan = true; }
};

void check(bool condition) {
  if (!condition) std::abort();
}

void checkScript(const std::string& script) {
  const std::string prefix = VKRCommandDelegateImpl::kNativeCallbackPrefix;
  if (script.rfind(VKRCommandDelegateImpl::kEvalAndFetchPrefix, 0) == 0) return;
  check(script.rfind(prefix + "'", 0) == 0);
  const size_t idEnd = script.find('\'', prefix.size() + 1);
  check(idEnd != std::string::npos);
  check(VKRCommandDelegateImpl::isValidCallbackId(
      script.substr(prefix.size() + 1, idEnd - prefix.size() - 1)));
  // '<id>',<status>,<message>,<keep>, 0)
  const size_t statusEnd = script.find(',', idEnd + 2);
  check(statusEnd != std::string::npos);
  const size_t tail = script.size() - std::string(",0, 0)").size();
  check(script.compare(tail, std::string::npos, ",0, 0)") == 0 ||
        script.compare(tail, std::string::npos, ",1, 0)") == 0);
  const std::string message = script.substr(statusEnd + 1, tail - statusEnd - 1);
  check(platform::parseJSON(message, {.allowFragments = true}).ok());
}

}  // namespace

VKR_REGISTER_PLUGIN(FuzzPlugin);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::setConsoleLogging(false), true);
  static vokaru::testing::TestController test(R"(<widget>
      <feature name="A"><param name="ios-package" value="FuzzPlugin" /></feature>
      <feature name="b"><param name="ios-package" value="FuzzPlugin" /></feature>
      <feature name="Gone"><param name="ios-package" value="NoSuchClass" /></feature>
    </widget>)");
  (void)quiet;
  std::shared_ptr<VKRCommandQueue> queue = test.controller->commandQueue();
  test.engine->clearScripts();
  sentinelRan = false;

  queue->enqueueCommandBatch(std::string_view(reinterpret_cast<const char*>(data), size));
  queue->enqueueCommandBatch(R"([[null,"A","sentinel",[]]])");
  queue->executePending();
  check(platform::testing::runMainLoopUntil([] { return sentinelRan; }, platform::seconds(30)));
  platform::testing::drainMainLoop();
  check(!queue->currentlyExecuting());
  for (const std::string& script : test.engine->scripts()) checkScript(script);
  return 0;
}
