#pragma once

#include "platform/ui/geometry.h"

namespace platform::ui {

// The screen the app's windows are on. On the desktop it is the size of the app's main window,
// which the renderer (or a test) sets; by default a phone-sized portrait screen.
class Screen {
 public:
  static Screen& main();

  Rect bounds() const { return bounds_; }
  void setBounds(Rect bounds) { bounds_ = bounds; }
  double scale() const { return scale_; }
  void setScale(double scale) { scale_ = scale; }

 private:
  Rect bounds_{0, 0, 375, 667};
  double scale_ = 1;
};

}  // namespace platform::ui
