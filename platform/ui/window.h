#pragma once

#include <memory>
#include <string>

#include "platform/ui/view.h"

namespace platform::ui {

class ViewController;

// The root of a view tree shown on screen. Its root view controller's view fills it.
class Window : public View {
 public:
  // A window the size of the main screen.
  Window();
  explicit Window(Rect frame);

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  // Replaces the root controller; its view fills the window and follows its size.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  // Shows the window and makes it the application's key window.
  void makeKeyAndVisible();
  bool isKeyWindow() const;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { setContent(title_, std::move(title)); }

 private:
  std::shared_ptr<ViewController> rootViewController_;
  std::string title_;
};

}  // namespace platform::ui
