#pragma once

#include <functional>
#include <memory>

#include "platform/ui/view.h"

namespace platform::ui {

class Window;

// Interface orientations a controller supports, as a mask (the platform's values).
enum InterfaceOrientationMask : unsigned {
  kOrientationMaskPortrait = 1 << 1,
  kOrientationMaskPortraitUpsideDown = 1 << 2,
  kOrientationMaskLandscapeRight = 1 << 3,
  kOrientationMaskLandscapeLeft = 1 << 4,
  kOrientationMaskLandscape = kOrientationMaskLandscapeLeft | kOrientationMaskLandscapeRight,
  kOrientationMaskAll =
      kOrientationMaskPortrait | kOrientationMaskPortraitUpsideDown | kOrientationMaskLandscape,
  kOrientationMaskAllButUpsideDown = kOrientationMaskPortrait | kOrientationMaskLandscape,
};

// Manages one view (made on first use) and the controllers it presents modally. A presented
// controller's view covers its window until dismissed. The desktop never rotates: the
// orientation answers are kept for whoever asks. Main thread only; always owned by a shared_ptr.
class ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  using Completion = std::function<void()>;

  ViewController();
  virtual ~ViewController();
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // The view, made by loadView() and then viewDidLoad() on first use.
  std::shared_ptr<View> view();
  bool isViewLoaded() const { return view_ != nullptr; }
  void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

  // Presents the controller over this one's window. Refused (logged, answering false, no
  // completion) when this controller already presents one, when the controller is already
  // presented, or when this controller is in no window. The completion runs on a later turn of
  // the main queue.
  bool presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                             Completion completion);
  // Dismisses the controller this one presents (with everything it presents in turn), or, when
  // it presents none, this controller itself. The completion runs on a later turn of the main
  // queue, also when there was nothing to dismiss.
  void dismissViewController(bool animated, Completion completion);
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
  // The window of this controller's view, or of the controller that presents it.
  std::shared_ptr<Window> window();

  // Kept for callers that read them back; the desktop shows every presentation full-window.
  int64_t modalPresentationStyle() const { return modalPresentationStyle_; }
  void setModalPresentationStyle(int64_t style) { modalPresentationStyle_ = style; }
  int64_t modalTransitionStyle() const { return modalTransitionStyle_; }
  void setModalTransitionStyle(int64_t style) { modalTransitionStyle_ = style; }

  virtual unsigned supportedInterfaceOrientations() const {
    return kOrientationMaskAllButUpsideDown;
  }
  virtual bool shouldAutorotate() const { return true; }

  // Life cycle, for subclasses.
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  virtual void didReceiveMemoryWarning() {}

 protected:
  // How a presented controller shows and goes: by default its view covers the window.
  virtual void showPresented(Window& window);
  virtual void hidePresented();

 private:
  std::shared_ptr<View> view_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  int64_t modalPresentationStyle_ = 0;
  int64_t modalTransitionStyle_ = 0;
};

}  // namespace platform::ui
