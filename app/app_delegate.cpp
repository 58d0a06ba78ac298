#include "app/app_delegate.h"

#include "app/echo_plugin.h"
#include "platform/foundation/log.h"

// The app's own plugins register here, so that they are linked with the app delegate.
VKR_REGISTER_PLUGIN(EchoPlugin);

bool AppDelegate::didFinishLaunching(platform::ui::Application& application,
                                     const platform::Value& options) {
  platform::Result<std::shared_ptr<MainViewController>> controller =
      VKRViewController::create<MainViewController>();
  if (!controller.ok()) {
    platform::log(controller.error().localizedDescription());
    return false;
  }
  setViewController(*controller);
  return VKRAppDelegate::didFinishLaunching(application, options);
}
