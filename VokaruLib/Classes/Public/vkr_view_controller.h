#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "platform/foundation/xml_parser.h"
#include "platform/ui/view_controller.h"
#include "platform/web/web_view.h"

class VKRCommandDelegate;
class VKRCommandQueue;
class VKRPlugin;
class VKRWebViewEngineProtocol;

inline constexpr const char* kVKRConfigErrorDomain = "VKRConfigErrorDomain";
enum VKRConfigErrorCode : int64_t { kVKRConfigMissing = 1, kVKRConfigParseError = 2 };

// Interface orientations as the bundle's "UISupportedInterfaceOrientations" names them.
enum VKRInterfaceOrientation : int64_t {
  kVKRInterfaceOrientationPortrait = 1,
  kVKRInterfaceOrientationPortraitUpsideDown = 2,
  kVKRInterfaceOrientationLandscapeRight = 3,
  kVKRInterfaceOrientationLandscapeLeft = 4,
};

// The host of the web application: the settings read from the bundle's config.xml, the plugin
// registry (service name to class, class name to live instance), the command queue and the
// command delegate, and the web view engine whose web view fills the controller's view. When its
// view loads it starts the start-up plugins and loads the start page; it forwards the
// application's life cycle to the page as document events and empties the app's temporary folder
// when the app ends. Main thread only, except settings(). Always owned by a shared_ptr: make it
// with create().
class VKRViewController : public platform::ui::ViewController {
 public:
  using PluginObjects = std::map<std::string, std::shared_ptr<VKRPlugin>, std::less<>>;

  // Seconds the start page has to load.
  static constexpr double kStartPageTimeout = 20.0;
  // The engine made when config.xml names none (or one that cannot host the start page).
  static constexpr const char* kDefaultWebViewEngine = "VKRUIWebViewEngine";
  // The page's life-cycle events.
  static constexpr const char* kResignScript = "vokaru.fireDocumentEvent('resign');";
  static constexpr const char* kResumeScript = "vokaru.fireDocumentEvent('resume');";
  static constexpr const char* kActiveScript = "vokaru.fireDocumentEvent('active');";
  static constexpr const char* kPauseScript = "vokaru.fireDocumentEvent('pause', null, true);";

  // A controller, initialised: command queue and delegate made, application life cycle observed,
  // the main bundle's config.xml read. A main bundle without config.xml, or with one that does
  // not parse, is an error whose description says which.
  template <typename Controller = VKRViewController, typename... Args>
  static platform::Result<std::shared_ptr<Controller>> create(Args&&... args) {
    auto controller = std::make_shared<Controller>(std::forward<Args>(args)...);
    platform::Status initialized = controller->initialize();
    if (!initialized.ok()) return initialized.error();
    return controller;
  }

  VKRViewController();
  ~VKRViewController() override;

  // Runs the main bundle's config.xml through the parser delegate.
  static platform::Status parseSettingsWithParser(platform::XMLParserDelegate& delegate);
  // Reads config.xml into the plugin map, the start-up plugins, the settings and the start page.
  platform::Status loadSettings();

  std::shared_ptr<VKRCommandQueue> commandQueue() const { return commandQueue_; }
  std::shared_ptr<VKRCommandDelegate> commandDelegate() const { return commandDelegate_; }
  std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine() const { return webViewEngine_; }
  void setWebViewEngine(std::shared_ptr<VKRWebViewEngineProtocol> engine) {
    webViewEngine_ = std::move(engine);
  }
  // The engine's web view; null without an engine.
  std::shared_ptr<platform::web::WebView> webView() const;

  // The preferences (lower-cased keys). Any thread.
  platform::Dictionary settings() const;
  const platform::Dictionary& pluginsMap() const { return pluginsMap_; }
  const std::vector<std::string>& startupPluginNames() const { return startupPluginNames_; }
  const std::string& wwwFolderName() const { return wwwFolderName_; }
  void setWwwFolderName(std::string folder) { wwwFolderName_ = std::move(folder); }
  const std::string& startPage() const { return startPage_; }
  void setStartPage(std::string page) { startPage_ = std::move(page); }
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

  // The start page: a URL when startPage() holds one, else the file of the web folder (keeping
  // the start page's query and fragment); nothing when there is no such file.
  std::optional<platform::URL> appUrl();
  // The "ErrorUrl" preference: a URL when it holds one, else the file of the web folder; nothing
  // when unset or when there is no such file.
  std::optional<platform::URL> errorURL();
  // errorURL() with the message as its "error" query; nothing without an error page.
  std::optional<platform::URL> errorURLWithMessage(const std::string& message);

  // The plugin of a service (matched without regard to case), made and registered on first use.
  // Null when the service is not mapped or its class does not exist (logged).
  std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName);
  // Gives the plugin this controller and the command delegate, keeps it under the class name and
  // calls its pluginInitialize().
  void registerPluginWithClassName(const std::shared_ptr<VKRPlugin>& plugin,
                                   const std::string& className);
  // As registerPluginWithClassName() under the plugin's own class name, also mapping the service
  // name to it (for hosts that add plugins of their own).
  void registerPluginWithPluginName(const std::shared_ptr<VKRPlugin>& plugin,
                                    std::string_view pluginName);

  // Makes the web view engine named by the "VokaruWebViewEngine" preference (falling back to the
  // default engine when there is no such class or it cannot load the start page), registers it
  // as a plugin under the configured name and answers its web view.
  std::shared_ptr<platform::web::WebView> newVokaruViewWithFrame(platform::ui::Rect frame);
  // Puts a new engine's web view, filling it, at the back of the controller's view.
  void createGapView();

  // The app's first URL scheme ("CFBundleURLTypes"), or nothing.
  std::optional<std::string> appURLScheme() const;
  const std::string& openURL() const { return openURL_; }
  void setOpenURL(std::string url) { openURL_ = std::move(url); }

  // Orientations.
  static std::vector<int64_t> parseInterfaceOrientations(const platform::Value& names);
  const std::vector<int64_t>& supportedOrientations() const { return supportedOrientations_; }
  bool supportsOrientation(int64_t orientation) const;
  unsigned supportedInterfaceOrientations() const override;
  // Autorotation answers what enabledAutorotation() says: the controller's own answer
  // (shouldAutorotateDefaultValue()) unless a plugin switched it, as the splash screen does while
  // it shows.
  bool shouldAutorotate() const override { return enabledAutorotation_; }
  bool shouldAutorotateDefaultValue() const { return true; }
  bool enabledAutorotation() const { return enabledAutorotation_; }
  void setEnabledAutorotation(bool enabled) { enabledAutorotation_ = enabled; }

  // The view's life: the start-up plugins start and the start page loads (once the user-agent
  // lock is held) when the view loads.
  void viewDidLoad() override;
  void viewDidUnload();
  // Purges (the base class's handling) only when no plugin has an operation pending.
  void didReceiveMemoryWarning() override;

  // The application's life cycle, as the controller observes it.
  virtual void onAppWillTerminate();
  virtual void onAppWillResignActive();
  virtual void onAppDidBecomeActive();
  virtual void onAppWillEnterForeground();
  virtual void onAppDidEnterBackground();

 protected:
  // Once: makes the command queue and delegate, observes the application and loads the settings.
  platform::Status initialize();
  std::shared_ptr<VKRViewController> self() {
    return std::static_pointer_cast<VKRViewController>(shared_from_this());
  }
  std::weak_ptr<VKRViewController> weakSelf() { return self(); }

 private:
  // A file of the web folder as a URL, keeping the query and fragment of `reference`.
  std::optional<platform::URL> webFolderURL(const std::string& reference);
  void loadStartPage();
  void deleteTemporaryFiles();

  bool initialized_ = false;
  std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine_;
  std::shared_ptr<VKRCommandDelegate> commandDelegate_;
  std::shared_ptr<VKRCommandQueue> commandQueue_;
  std::vector<int64_t> supportedOrientations_;
  PluginObjects pluginObjects_;
  platform::Dictionary pluginsMap_;
  std::vector<std::string> startupPluginNames_;
  mutable platform::Mutex settingsMutex_;
  platform::Dictionary settings_ VKR_GUARDED_BY(settingsMutex_);
  std::string wwwFolderName_ = "www";
  std::string startPage_ = "index.html";
  std::string openURL_;
  std::optional<std::string> baseUserAgent_;
  std::optional<std::string> userAgent_;
  int64_t userAgentLockToken_ = 0;
  bool enabledAutorotation_ = true;
  std::vector<platform::NotificationCenter::Observation> observations_;
};
