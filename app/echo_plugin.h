#pragma once

#include <memory>

#include "VokaruLib/Classes/Public/vkr_plugin.h"

// The sample app's own plugin (service "Echo"): "echo" answers with the command's first
// argument, as it came. It shows how an app adds a plugin: a class registered by name, mapped to
// a service in config.xml, whose actions answer through the command delegate.
class EchoPlugin : public VKRPlugin {
 public:
  explicit EchoPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine);

 private:
  void echo(const VKRInvokedUrlCommand& command);
};
