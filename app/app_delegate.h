#pragma once

#include "VokaruLib/Classes/Public/vkr_app_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"

// The app's root view controller: the host controller as it is.
class MainViewController : public VKRViewController {};

// The application delegate the shell runs: launching makes a MainViewController the root of the
// window.
class AppDelegate : public VKRAppDelegate {
 public:
  bool didFinishLaunching(platform::ui::Application& application,
                          const platform::Value& options) override;
};
