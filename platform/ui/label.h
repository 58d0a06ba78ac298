#pragma once

#include <string>

#include "platform/ui/view.h"

namespace platform::ui {

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

// A line (or lines) of read-only text.
class Label : public View {
 public:
  using View::View;

  const std::string& text() const { return text_; }
  void setText(std::string text) { setContent(text_, std::move(text)); }
  Color textColor() const { return textColor_; }
  void setTextColor(Color color) { setContent(textColor_, color); }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment alignment) { setContent(alignment_, alignment); }
  double fontSize() const { return fontSize_; }
  void setFontSize(double size) { setContent(fontSize_, size); }
  // 0 means as many as the text needs.
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int lines) { setContent(numberOfLines_, lines); }
  // Kept; the renderer ellipsizes at the end of the text and never shrinks it.
  double minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(double factor) { minimumScaleFactor_ = factor; }

 private:
  std::string text_;
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::Left;
  double fontSize_ = 17;
  int numberOfLines_ = 1;
  double minimumScaleFactor_ = 0;
};

}  // namespace platform::ui
