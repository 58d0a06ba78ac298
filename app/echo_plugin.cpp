#include "app/echo_plugin.h"

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"

EchoPlugin::EchoPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("echo", &EchoPlugin::echo);
}

void EchoPlugin::echo(const VKRInvokedUrlCommand& command) {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(VKRPluginResult(kVKRCommandStatusOK, command.argumentAtIndex(0)),
                               command.callbackId());
  }
}
