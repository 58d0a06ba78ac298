#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/foundation/xml_parser.h"

class VKRCommandDelegate;
class VKRCommandQueue;
class VKRPlugin;
class VKRWebViewEngineProtocol;

inline constexpr const char* kVKRConfigErrorDomain = "VKRConfigErrorDomain";
enum VKRConfigErrorCode : int64_t { kVKRConfigMissing = 1, kVKRConfigParseError = 2 };

// The host of the web application: the settings read from the main bundle's config.xml, the
// plugin registry (service name to class, class name to live instance), the command queue and the
// command delegate, the web view engine and the page's user agent. Main thread only, except
// settings(). Always owned by a shared_ptr: make it with create().
class VKRViewController : public std::enable_shared_from_this<VKRViewController> {
 public:
  using PluginObjects = std::map<std::string, std::shared_ptr<VKRPlugin>, std::less<>>;

  // A controller, initialised: command queue and delegate made, config.xml read. A main bundle
  // without config.xml, or with one that does not parse, is an error whose description says
  // which.
  template <typename Controller = VKRViewController, typename... Args>
  static platform::Result<std::shared_ptr<Controller>> create(Args&&... args) {
    auto controller = std::make_shared<Controller>(std::forward<Args>(args)...);
    platform::Status initialized = controller->initialize();
    if (!initialized.ok()) return initialized.error();
    return controller;
  }

  VKRViewController();
  virtual ~VKRViewController();
  VKRViewController(const VKRViewController&) = delete;
  VKRViewController& operator=(const VKRViewController&) = delete;

  // Runs the main bundle's config.xml through the parser delegate.
  platform::Status parseSettingsWithParser(platform::XMLParserDelegate& delegate);
  // Reads config.xml into the plugin map, the start-up plugins, the settings and the start page.
  platform::Status loadSettings();

  std::shared_ptr<VKRCommandQueue> commandQueue() const { return commandQueue_; }
  std::shared_ptr<VKRCommandDelegate> commandDelegate() const { return commandDelegate_; }
  std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine() const { return webViewEngine_; }
  void setWebViewEngine(std::shared_ptr<VKRWebViewEngineProtocol> engine) {
    webViewEngine_ = std::move(engine);
  }

  // The preferences (lower-cased keys). Any thread.
  platform::Dictionary settings() const;
  const platform::Dictionary& pluginsMap() const { return pluginsMap_; }
  const std::vector<std::string>& startupPluginNames() const { return startupPluginNames_; }
  const std::string& wwwFolderName() const { return wwwFolderName_; }
  const std::string& startPage() const { return startPage_; }
  const PluginObjects& pluginObjects() const { return pluginObjects_; }

  // The page's user agent, composed on first use: the base (baseUserAgent(), else the
  // "OverrideUserAgent" preference, else the engine's original agent) followed by the
  // "AppendUserAgent" preference, or else by this controller's number in parentheses.
  const std::string& userAgent();
  const std::optional<std::string>& baseUserAgent() const { return baseUserAgent_; }
  void setBaseUserAgent(std::optional<std::string> agent) { baseUserAgent_ = std::move(agent); }
  // Where the controller keeps its user-agent lock token while it holds the lock (0 otherwise),
  // for VKRUserAgentUtil::releaseLock().
  int64_t* userAgentLockToken() { return &userAgentLockToken_; }

  // The plugin of a service (matched without regard to case), made and registered on first use.
  // Null when the service is not mapped or its class does not exist (logged).
  std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName);
  // Gives the plugin this controller and the command delegate, keeps it under the class name and
  // calls its pluginInitialize().
  void registerPluginWithClassName(const std::shared_ptr<VKRPlugin>& plugin,
                                   const std::string& className);

 protected:
  // Once: makes the command queue and delegate and loads the settings.
  platform::Status initialize();

 private:
  bool initialized_ = false;
  std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine_;
  std::shared_ptr<VKRCommandDelegate> commandDelegate_;
  std::shared_ptr<VKRCommandQueue> commandQueue_;
  PluginObjects pluginObjects_;
  platform::Dictionary pluginsMap_;
  std::vector<std::string> startupPluginNames_;
  mutable std::mutex settingsMutex_;
  platform::Dictionary settings_;
  std::string wwwFolderName_ = "www";
  std::string startPage_ = "index.html";
  std::optional<std::string> baseUserAgent_;
  std::optional<std::string> userAgent_;
  int64_t userAgentLockToken_ = 0;
};
