#pragma once

#include <optional>

#include "platform/ui/geometry.h"
#include "platform/ui/image.h"
#include "platform/ui/label.h"
#include "toolbox/ui/font_line_height.h"

// A one-line label that, when its text is too wide, fades the text out at its end and/or start
// instead of cutting it with an ellipsis. Main thread only, like every view.
class ZSDK_ZTMFadeTruncatingLabel : public platform::ui::Label {
 public:
  enum TruncateMode : int { kTruncateNone = 0, kTruncateTail = 1, kTruncateHead = 2 };

  // Clipped, clear background, fading the tail.
  explicit ZSDK_ZTMFadeTruncatingLabel(platform::ui::Rect frame = {});

  int truncateMode() const { return truncateMode_; }
  void setTruncateMode(int mode) { truncateMode_ = mode; }
  const ZTMFont& font() const { return font_; }
  void setFont(ZTMFont font) { font_ = std::move(font); }

  // The mask the text is drawn through in the rectangle: nothing when the text fits; all white
  // (a plain clip) when the mode fades neither end.
  std::optional<platform::ui::Image> maskForRect(const platform::ui::Rect& rect) const;
  // The text drawn in the rectangle (of the label's size) through that mask.
  platform::ui::Image drawTextInRect(const platform::ui::Rect& rect) const;

  // A grey image of the rectangle's whole size, white where text shows and fading to black over
  // min(2 x height, floor(width / 4)) at the ends asked for.
  static platform::ui::Image getLinearGradient(const platform::ui::Rect& rect, bool fadeHead,
                                               bool fadeTail);

 private:
  int truncateMode_ = kTruncateTail;
  ZTMFont font_;
};
