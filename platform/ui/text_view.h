#pragma once

#include <string>

#include "platform/ui/view.h"

namespace platform::ui {

// A block of text of many lines, which the user may edit when it is editable.
class TextView : public View {
 public:
  using View::View;

  const std::string& text() const { return text_; }
  void setText(std::string text) { setContent(text_, std::move(text)); }
  bool isEditable() const { return editable_; }
  void setEditable(bool editable) { setContent(editable_, editable); }

 private:
  std::string text_;
  bool editable_ = true;
};

}  // namespace platform::ui
