#pragma once

#include <memory>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/ui/gesture_recognizer.h"

// Keeps a long press on the page from showing the magnifier: with the "suppresseslongpressgesture"
// preference set, it makes a long-press recognizer of its own for the web view's content view,
// which consumes the gesture ("suppresses3dtouchgesture" makes it fire sooner, before a force
// press).
class VKRGestureHandler : public VKRPlugin {
 public:
  static constexpr float kMinimumPressDuration = 0.45f;
  static constexpr float kForceTouchPressDuration = 0.05f;
  static constexpr double kAllowableMovement = 100.0;

  explicit VKRGestureHandler(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  void pluginInitialize() override { applyLongPressFix(); }
  void applyLongPressFix();
  void handleLongPressGestures(platform::ui::GestureRecognizer& recognizer);

  std::shared_ptr<platform::ui::LongPressGestureRecognizer> lpgr() const { return lpgr_; }

 private:
  std::shared_ptr<platform::ui::LongPressGestureRecognizer> lpgr_;
};
