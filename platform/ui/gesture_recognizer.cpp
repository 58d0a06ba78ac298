#include "platform/ui/gesture_recognizer.h"

namespace platform::ui {

void GestureRecognizer::setState(GestureRecognizerState state) {
  state_ = state;
  if (enabled_ && action_) action_(*this);
}

}  // namespace platform::ui
