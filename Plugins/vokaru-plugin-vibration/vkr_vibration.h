#pragma once

#include <memory>

#include "VokaruLib/Classes/Public/vkr_plugin.h"

// The plugin through which the page makes the device vibrate (service "Vibration"): one
// vibration of the platform's for every call, whatever duration or pattern the page gives. A
// Linux desktop has no vibrator, so the call is accepted and has no effect. No answer is sent.
class VKRVibration : public VKRPlugin {
 public:
  explicit VKRVibration(std::shared_ptr<VKRWebViewEngineProtocol> engine);

 private:
  void vibrate(const VKRInvokedUrlCommand& command);
};
