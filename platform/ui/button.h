#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/ui/image.h"
#include "platform/ui/view.h"

namespace platform::ui {

enum class ControlState { Normal = 0, Highlighted = 1, Disabled = 2, Selected = 4 };

// A push button with a title and an image per state, calling its action when tapped.
class Button : public View {
 public:
  using View::View;

  // The state's title, falling back to the normal state's.
  std::string title(ControlState state = ControlState::Normal) const {
    auto it = titles_.find(state);
    if (it == titles_.end()) it = titles_.find(ControlState::Normal);
    return it == titles_.end() ? std::string() : it->second;
  }
  void setTitle(std::string title, ControlState state = ControlState::Normal) {
    setContent(titles_[state], std::move(title));
  }
  std::shared_ptr<const Image> image(ControlState state = ControlState::Normal) const {
    auto it = images_.find(state);
    if (it == images_.end()) it = images_.find(ControlState::Normal);
    return it == images_.end() ? nullptr : it->second;
  }
  void setImage(std::shared_ptr<const Image> image, ControlState state = ControlState::Normal) {
    setContent(images_[state], std::move(image));
  }
  Color titleColor() const { return titleColor_; }
  void setTitleColor(Color color) { setContent(titleColor_, color); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { setContent(enabled_, enabled); }

  void setAction(std::function<void()> action) { action_ = std::move(action); }
  // A tap: runs the action when the button is enabled.
  void sendAction() {
    if (enabled_ && action_) action_();
  }

 private:
  std::map<ControlState, std::string> titles_;
  std::map<ControlState, std::shared_ptr<const Image>> images_;
  Color titleColor_ = Color::rgb(0, 0.478, 1);
  bool enabled_ = true;
  std::function<void()> action_;
};

}  // namespace platform::ui
