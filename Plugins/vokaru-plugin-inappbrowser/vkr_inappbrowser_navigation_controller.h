#pragma once

#include <memory>

#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_view_controller.h"
#include "platform/ui/toolbar.h"
#include "platform/ui/view_controller.h"

// The container the in-app browser's window is presented in: the window's view fills it, with a
// backdrop strip behind the status bar (none on the desktop, so the strip has no height).
// Orientation answers come from its delegate when it has one. Main thread only.
class VKRInAppBrowserNavigationController : public platform::ui::ViewController {
 public:
  explicit VKRInAppBrowserNavigationController(
      std::shared_ptr<VKRInAppBrowserViewController> rootViewController);

  const std::shared_ptr<VKRInAppBrowserViewController>& rootViewController() const { return root_; }
  const std::shared_ptr<platform::ui::Toolbar>& backdrop() const { return backdrop_; }
  void setOrientationDelegate(std::weak_ptr<platform::ui::ViewController> delegate) {
    orientationDelegate_ = std::move(delegate);
  }

  void viewDidLoad() override;
  // The window appears and goes with its container.
  void viewWillAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override;
  bool shouldAutorotate() const override;

 private:
  std::shared_ptr<VKRInAppBrowserViewController> root_;
  std::shared_ptr<platform::ui::Toolbar> backdrop_;
  std::weak_ptr<platform::ui::ViewController> orientationDelegate_;
};
