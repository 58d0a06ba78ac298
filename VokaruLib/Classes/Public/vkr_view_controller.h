#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
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

// The host of the web application: the settings read from the bundle's config.xml, the plugin
// registry (service name to class, class name to live instance), the command queue and the
// command delegate, and the web view engine. Main thread only, except settings(). Always owned
// by a shared_ptr: make it with create().
class VKRViewController : public std::enable_shared_from_this<VKRViewController> {
 public:
  using PluginObjects = std::map<std::string, std::shared_ptr<VKRPlugin>, std::less<>>;

  // A controller of the app bundle in the folder, initialised: command queue and delegate made,
  // config.xml read. A bundle without config.xml, or with one that does not parse, is an error
  // whose description says which.
  template <typename Controller = VKRViewController, typename... Args>
  static platform::Result<std::shared_ptr<Controller>> create(std::filesystem::path bundlePath,
                                                              Args&&... args) {
    auto controller = std::make_shared<Controller>(std::forward<Args>(args)...);
    platform::Status initialized = controller->initialize(std::move(bundlePath));
    if (!initialized.ok()) return initialized.error();
    return controller;
  }

  VKRViewController();
  virtual ~VKRViewController();
  VKRViewController(const VKRViewController&) = delete;
  VKRViewController& operator=(const VKRViewController&) = delete;

  // Runs the config.xml of the bundle through the parser delegate.
  platform::Status parseSettingsWithParser(platform::XMLParserDelegate& delegate);
  // Reads config.xml into the plugin map, the start-up plugins, the settings and the start page.
  platform::Status loadSettings();

  const std::filesystem::path& bundlePath() const { return bundlePath_; }
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

  // The plugin of a service (matched without regard to case), made and registered on first use.
  // Null when the service is not mapped or its class does not exist (logged).
  std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName);
  // Gives the plugin this controller and the command delegate, keeps it under the class name and
  // calls its pluginInitialize().
  void registerPluginWithClassName(const std::shared_ptr<VKRPlugin>& plugin,
                                   const std::string& className);

 protected:
  // Once: makes the command queue and delegate and loads the settings.
  platform::Status initialize(std::filesystem::path bundlePath);

 private:
  bool initialized_ = false;
  std::filesystem::path bundlePath_;
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
};
