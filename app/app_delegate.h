#pragma once

#include <optional>

#include "VokaruLib/Classes/Public/vkr_app_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/ui/geometry.h"

// The app's root view controller: the host controller as it is.
class MainViewController : public VKRViewController {};

// Where an app would specialise the command delegate or the command queue; as shipped they are
// the runtime's own, which the controller makes directly.
class MainCommandDelegate : public VKRCommandDelegateImpl {
 public:
  using VKRCommandDelegateImpl::VKRCommandDelegateImpl;
};
class MainCommandQueue : public VKRCommandQueue {
 public:
  using VKRCommandQueue::VKRCommandQueue;
};

// The application delegate the shell runs: launching makes a MainViewController the root of the
// window, which opens at the window size (the given one, else the app's setting, else the
// desktop default) with the app's display name as its title.
class AppDelegate : public VKRAppDelegate {
 public:
  bool didFinishLaunching(platform::ui::Application& application,
                          const platform::Value& options) override;

  // The size asked for on the command line; it wins over the app's setting.
  void setWindowSize(std::optional<platform::ui::Size> size) { windowSize_ = size; }

 private:
  platform::ui::Size windowSizeFor(const VKRViewController& controller) const;

  std::optional<platform::ui::Size> windowSize_;
};
