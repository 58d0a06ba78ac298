#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_navigation_controller.h"

VKRInAppBrowserNavigationController::VKRInAppBrowserNavigationController(
    std::shared_ptr<VKRInAppBrowserViewController> rootViewController)
    : root_(std::move(rootViewController)) {}

void VKRInAppBrowserNavigationController::viewDidLoad() {
  using namespace platform::ui;
  std::shared_ptr<View> container = view();
  std::shared_ptr<View> window = root_->view();
  window->setFrame(container->bounds());
  window->setAutoresizingMask(kFlexibleWidth | kFlexibleHeight);
  container->addSubview(window);
  // The desktop has no status bar: the backdrop spans the width with no height.
  backdrop_ = std::make_shared<Toolbar>(Rect(0, 0, container->bounds().width(), 0));
  backdrop_->setBarStyle(BarStyle::Default);
  backdrop_->setAutoresizingMask(kFlexibleWidth);
  container->addSubview(backdrop_);
}

void VKRInAppBrowserNavigationController::viewWillAppear(bool animated) {
  root_->viewWillAppear(animated);
  ViewController::viewWillAppear(animated);
}

void VKRInAppBrowserNavigationController::viewDidDisappear(bool animated) {
  root_->viewDidDisappear(animated);
  ViewController::viewDidDisappear(animated);
}

unsigned VKRInAppBrowserNavigationController::supportedInterfaceOrientations() const {
  if (auto delegate = orientationDelegate_.lock())
    return delegate->supportedInterfaceOrientations();
  return platform::ui::kOrientationMaskPortrait;
}

bool VKRInAppBrowserNavigationController::shouldAutorotate() const {
  if (auto delegate = orientationDelegate_.lock()) return delegate->shouldAutorotate();
  return true;
}
