#include "VokaruLib/Classes/Private/Plugins/vkr_gesture_handler.h"

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/foundation/log.h"

VKRGestureHandler::VKRGestureHandler(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {}

void VKRGestureHandler::applyLongPressFix() {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  const platform::Dictionary preferences = delegate ? delegate->settings() : platform::Dictionary();
  if (!vokaruBoolSettingForKey(preferences, "suppresseslongpressgesture", false)) return;

  lpgr_ = std::make_shared<platform::ui::LongPressGestureRecognizer>(
      [this](platform::ui::GestureRecognizer& recognizer) { handleLongPressGestures(recognizer); });
  lpgr_->setMinimumPressDuration(kMinimumPressDuration);
  lpgr_->setAllowableMovement(kAllowableMovement);
  if (vokaruBoolSettingForKey(preferences, "suppresses3dtouchgesture", false)) {
    lpgr_->setMinimumPressDuration(kForceTouchPressDuration);
  }

  std::shared_ptr<platform::web::WebView> view = webView();
  if (!view || view->subviews().empty()) {
    platform::log("No webview subviews found, not applying the longpress fix.");
  }
  // The recognizer would go on the content view inside the web view's scroll view. The
  // platform's web views draw their page in the engine's own widget, with no scroll view among
  // their subviews: there is no content view to take it (and no magnifier to suppress).
}

void VKRGestureHandler::handleLongPressGestures(platform::ui::GestureRecognizer& recognizer) {
  if (&recognizer == lpgr_.get() &&
      recognizer.state() == platform::ui::GestureRecognizerState::Began) {
    platform::log("Ignoring a longpress in order to suppress the magnifying glass.");
  }
}
