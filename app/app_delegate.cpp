#include "app/app_delegate.h"

#include "app/echo_plugin.h"
#include "app/window_size.h"
#include "platform/foundation/log.h"
#include "platform/storage/bundle.h"
#include "platform/ui/screen.h"

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
  // The window opens at the main screen's size, which on the desktop is the window's.
  platform::ui::Screen::main().setBounds(platform::ui::Rect({0, 0}, windowSizeFor(**controller)));
  if (!VKRAppDelegate::didFinishLaunching(application, options)) return false;
  window()->setTitle(platform::Bundle::mainBundle()->displayName());
  return true;
}

platform::ui::Size AppDelegate::windowSizeFor(const VKRViewController& controller) const {
  if (windowSize_) return *windowSize_;
  const platform::Dictionary settings = controller.settings();
  const platform::Value* setting = settings.find(kWindowSizePreference);
  if (!setting) return kDefaultWindowSize;
  std::optional<platform::ui::Size> size = parseWindowSize(setting->stringOr(""));
  if (!size) {
    platform::logf("The WindowSize preference \"%s\" is not <width>x<height>; using %.0fx%.0f",
                   setting->stringOr("").c_str(), kDefaultWindowSize.width,
                   kDefaultWindowSize.height);
  }
  return size.value_or(kDefaultWindowSize);
}
