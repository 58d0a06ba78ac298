#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/application.h"
#include "platform/ui/window.h"

class VKRViewController;

// The application's delegate: sets up the process-wide web state (cookies always accepted, the
// shared URL cache), makes the window with the host controller as root, and turns URLs given to
// the app into open-URL notifications for the plugins. Main thread only.
class VKRAppDelegate : public platform::ui::ApplicationDelegate {
 public:
  static constexpr uint64_t kURLCacheMemoryCapacity = 8 * 1024 * 1024;
  static constexpr uint64_t kURLCacheDiskCapacity = 32 * 1024 * 1024;
  // In the app home's caches folder.
  static constexpr const char* kURLCacheDiskPath = "nsurlcache";

  // Accepts every cookie and installs the shared URL cache.
  VKRAppDelegate();

  // Makes the window, with the view controller (a plain VKRViewController when none was set) as
  // its root, and shows it. False when no controller could be made (the reason is logged).
  bool didFinishLaunching(platform::ui::Application& application,
                          const platform::Value& options) override;
  // Posts the URL to the plugins; false for an empty URL.
  bool openURL(platform::ui::Application& application, const std::string& url,
               const std::string& sourceApplication, const platform::Value& annotation) override;
  // Every orientation.
  unsigned supportedInterfaceOrientations(
      platform::ui::Application& application,
      const std::shared_ptr<platform::ui::Window>& window) override;
  // Empties the shared URL cache.
  void didReceiveMemoryWarning(platform::ui::Application& application) override;

  std::shared_ptr<platform::ui::Window> window() const { return window_; }
  void setWindow(std::shared_ptr<platform::ui::Window> window) { window_ = std::move(window); }
  std::shared_ptr<VKRViewController> viewController() const { return viewController_; }
  void setViewController(std::shared_ptr<VKRViewController> controller) {
    viewController_ = std::move(controller);
  }

 private:
  std::shared_ptr<platform::ui::Window> window_;
  std::shared_ptr<VKRViewController> viewController_;
};
