#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_invoked_url_command.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/class_registry.h"
#include "platform/ui/application.h"
#include "platform/ui/image.h"
#include "platform/web/navigation.h"
#include "platform/web/web_view.h"

class VKRCommandDelegate;
class VKRViewController;
class VKRWebViewEngineProtocol;

// Posted with the URL text as object when a URL should be opened by whoever can (a plugin, or the
// system); every plugin hears it through handleOpenURL().
inline constexpr const char* VKRPluginHandleOpenURLNotification =
    "VKRPluginHandleOpenURLNotification";
// Posted by the engine, with its web view as sender, when a new page starts loading in it.
inline constexpr const char* VKRPluginResetNotification = "VKRPluginResetNotification";

// The base of every plugin. A plugin is found by its class name (register it with
// VKR_REGISTER_PLUGIN), made once per host controller, and exposes page actions through its
// action table: each action is a member function taking the command, added by the class with
// addAction(). Actions answer later through commandDelegate()->sendPluginResult().
class VKRPlugin {
 public:
  // The plugin observes, for its whole life, the application's termination and memory warnings,
  // open-URL requests, and the page resets of the engine's web view.
  explicit VKRPlugin(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine);
  virtual ~VKRPlugin();
  VKRPlugin(const VKRPlugin&) = delete;
  VKRPlugin& operator=(const VKRPlugin&) = delete;

  // Hooks for subclasses; empty here.
  // Called once, right after the plugin was registered with its controller.
  virtual void pluginInitialize() {}
  virtual void onAppTerminate() {}
  virtual void onMemoryWarning() {}
  // A new page starts loading in the plugin's web view.
  virtual void onReset() {}
  // The notification's object is the URL text to open.
  virtual void handleOpenURL(const platform::Notification& notification) { (void)notification; }
  // A plugin that answers takes part in every navigation decision of the main web view: false
  // cancels the navigation. No answer (the default) leaves the decision to others.
  virtual std::optional<bool> shouldOverrideLoadWithRequest(
      const platform::web::URLRequest& request, platform::web::NavigationType navigationType) {
    (void)request, (void)navigationType;
    return std::nullopt;
  }

  // Forgets the controller and the command delegate (the controller's tear-down).
  void dispose();

  bool hasPendingOperation() const { return hasPendingOperation_; }
  void setHasPendingOperation(bool pending) { hasPendingOperation_ = pending; }
  std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine() const { return webViewEngine_.lock(); }
  // The engine's web view; null without an engine.
  std::shared_ptr<platform::web::WebView> webView() const;
  std::shared_ptr<VKRViewController> viewController() const { return viewController_.lock(); }
  void setViewController(std::weak_ptr<VKRViewController> controller) {
    viewController_ = std::move(controller);
  }
  std::shared_ptr<VKRCommandDelegate> commandDelegate() const { return commandDelegate_.lock(); }
  void setCommandDelegate(std::weak_ptr<VKRCommandDelegate> delegate) {
    commandDelegate_ = std::move(delegate);
  }

  // The application's delegate.
  std::shared_ptr<platform::ui::ApplicationDelegate> appDelegate() const;
  // The plugin's own class name, as config.xml names it ("ios-package").
  std::string className() const;
  // Resources of the bundle named after the plugin's class ("<class name>.bundle" in the main
  // bundle): the localised text for a key (the key itself when none), and an image by name.
  std::string pluginLocalizedString(std::string_view key) const;
  std::optional<platform::ui::Image> pluginImageResource(std::string_view name) const;

  // Whether the class has the action, and running it with the command (false when it has none).
  bool respondsToAction(std::string_view action) const;
  bool performAction(std::string_view action, const VKRInvokedUrlCommand& command);

 protected:
  // For plugins made without an engine of their own (the engine itself); they observe nothing.
  VKRPlugin() = default;

  template <typename Plugin>
  void addAction(std::string action, void (Plugin::*method)(const VKRInvokedUrlCommand&)) {
    static_assert(std::is_base_of_v<VKRPlugin, Plugin>);
    actions_[std::move(action)] = [this, method](const VKRInvokedUrlCommand& command) {
      (static_cast<Plugin*>(this)->*method)(command);
    };
  }

 private:
  bool hasPendingOperation_ = false;
  std::weak_ptr<VKRWebViewEngineProtocol> webViewEngine_;
  std::weak_ptr<VKRViewController> viewController_;
  std::weak_ptr<VKRCommandDelegate> commandDelegate_;
  std::map<std::string, std::function<void(const VKRInvokedUrlCommand&)>, std::less<>> actions_;
  std::vector<platform::NotificationCenter::Observation> observations_;
};

// Plugin classes by name: the value of a feature's "ios-package" in config.xml.
using VKRPluginRegistry =
    platform::ClassRegistry<VKRPlugin, std::shared_ptr<VKRWebViewEngineProtocol>>;

// Registers a plugin class under its own name. The class needs a constructor taking the engine.
#define VKR_REGISTER_PLUGIN(PluginClass) \
  PLATFORM_REGISTER_CLASS(VKRPlugin, PluginClass, std::shared_ptr<VKRWebViewEngineProtocol>)
