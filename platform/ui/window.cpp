#include "platform/ui/window.h"

#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

namespace platform::ui {

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(Rect frame) : View(frame) { setHidden(true); }

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (controller == rootViewController_) return;
  if (rootViewController_ && rootViewController_->isViewLoaded()) {
    auto old = rootViewController_->view();
    if (old->superview().get() == this) old->removeFromSuperview();
  }
  rootViewController_ = std::move(controller);
  if (!rootViewController_) return;
  std::shared_ptr<View> root = rootViewController_->view();
  root->setFrame(bounds());
  root->setAutoresizingMask(kFlexibleWidth | kFlexibleHeight);
  // Below any presented controller's view.
  insertSubview(root, 0);
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  Application::shared().makeKeyWindow(std::static_pointer_cast<Window>(shared_from_this()));
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

}  // namespace platform::ui
