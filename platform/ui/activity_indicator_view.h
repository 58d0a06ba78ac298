#pragma once

#include "platform/ui/view.h"

namespace platform::ui {

enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2 };

// A spinner. With hidesWhenStopped (the default) it is hidden while stopped.
class ActivityIndicatorView : public View {
 public:
  explicit ActivityIndicatorView(Rect frame = {},
                                 ActivityIndicatorStyle style = ActivityIndicatorStyle::White)
      : View(frame), style_(style) {
    setHidden(true);
  }

  ActivityIndicatorStyle style() const { return style_; }
  void setStyle(ActivityIndicatorStyle style) { setContent(style_, style); }
  bool isAnimating() const { return animating_; }
  void startAnimating() {
    setContent(animating_, true);
    if (hidesWhenStopped_) setHidden(false);
  }
  void stopAnimating() {
    setContent(animating_, false);
    if (hidesWhenStopped_) setHidden(true);
  }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool hides) {
    hidesWhenStopped_ = hides;
    setHidden(hides && !animating_);
  }

 private:
  ActivityIndicatorStyle style_;
  bool animating_ = false;
  bool hidesWhenStopped_ = true;
};

}  // namespace platform::ui
