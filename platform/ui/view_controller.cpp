#include "platform/ui/view_controller.h"

#include <vector>

#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace platform::ui {

namespace {

void completeLater(ViewController::Completion completion) {
  if (completion) mainQueue()->async(std::move(completion));
}

}  // namespace

ViewController::ViewController() = default;
ViewController::~ViewController() = default;

std::shared_ptr<View> ViewController::view() {
  VKR_ASSERT_MAIN_THREAD();
  if (!view_) {
    loadView();
    if (!view_) view_ = std::make_shared<View>(Screen::main().bounds());
    viewDidLoad();
  }
  return view_;
}

void ViewController::loadView() { view_ = std::make_shared<View>(Screen::main().bounds()); }

std::shared_ptr<Window> ViewController::window() {
  if (view_) {
    if (auto window = view_->window()) return window;
  }
  if (auto presenting = presentingViewController()) return presenting->window();
  return nullptr;
}

bool ViewController::presentViewController(const std::shared_ptr<ViewController>& controller,
                                           bool animated, Completion completion) {
  if (!controller || controller.get() == this || controller->presentingViewController()) {
    log("Attempt to present a view controller that is already presented");
    return false;
  }
  if (presented_) {
    log("Attempt to present a view controller on one which is already presenting");
    return false;
  }
  std::shared_ptr<Window> window = this->window();
  if (!window) {
    log("Attempt to present a view controller on one whose view is not in the window hierarchy");
    return false;
  }
  presented_ = controller;
  controller->presenting_ = weak_from_this();
  viewWillDisappear(animated);
  controller->viewWillAppear(animated);
  controller->showPresented(*window);
  controller->viewDidAppear(animated);
  viewDidDisappear(animated);
  completeLater(std::move(completion));
  return true;
}

void ViewController::dismissViewController(bool animated, Completion completion) {
  VKR_ASSERT_MAIN_THREAD();
  if (!presented_) {
    if (auto presenting = presentingViewController()) {
      presenting->dismissViewController(animated, std::move(completion));
    } else {
      completeLater(std::move(completion));
    }
    return;
  }
  // Keep this controller alive: a presented controller may hold its only reference.
  auto self = shared_from_this();
  std::vector<std::shared_ptr<ViewController>> chain;
  for (auto c = presented_; c; c = c->presented_) chain.push_back(c);
  viewWillAppear(animated);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const auto& controller = *it;
    controller->viewWillDisappear(animated);
    controller->hidePresented();
    controller->viewDidDisappear(animated);
    controller->presented_.reset();
    controller->presenting_.reset();
  }
  presented_.reset();
  viewDidAppear(animated);
  completeLater(std::move(completion));
}

void ViewController::showPresented(Window& window) {
  std::shared_ptr<View> presentedView = view();
  presentedView->setFrame(window.bounds());
  presentedView->setAutoresizingMask(kFlexibleWidth | kFlexibleHeight);
  window.addSubview(presentedView);
}

void ViewController::hidePresented() {
  if (view_) view_->removeFromSuperview();
}

}  // namespace platform::ui
