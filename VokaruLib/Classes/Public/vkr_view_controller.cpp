#include "VokaruLib/Classes/Public/vkr_view_controller.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "VokaruLib/Classes/Private/Plugins/vkr_built_in_plugins.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_local_storage.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_engine.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_config_parser.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_timer.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/system_info.h"
#include "platform/foundation/text_compare.h"
#include "platform/foundation/while_alive.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"
#include "platform/ui/application.h"
#include "platform/ui/pasteboard.h"

using platform::URL;

namespace {

constexpr int kVersionMajor = 4, kVersionMinor = 0, kVersionPatch = 1;

// The main bundle's Info.plist value, or null.
const platform::Value& infoValue(std::string_view key) {
  return platform::Bundle::mainBundle()->objectForInfoDictionaryKey(key);
}

}  // namespace

VKRViewController::VKRViewController() = default;

VKRViewController::~VKRViewController() {
  observations_.clear();
  VKRUserAgentUtil::releaseLock(&userAgentLockToken_);
  if (commandQueue_) commandQueue_->dispose();
  for (const auto& [className, plugin] : pluginObjects_) plugin->dispose();
}

platform::Status VKRViewController::initialize() {
  VKR_ASSERT_MAIN_THREAD();
  if (initialized_) return platform::okStatus();
  vkrRegisterBuiltInPlugins();
  commandQueue_ = std::make_shared<VKRCommandQueue>(weakSelf());
  commandDelegate_ = std::make_shared<VKRCommandDelegateImpl>(self());

  platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
  const std::pair<const char*, void (VKRViewController::*)()> events[] = {
      {platform::ui::kApplicationWillTerminateNotification, &VKRViewController::onAppWillTerminate},
      {platform::ui::kApplicationWillResignActiveNotification,
       &VKRViewController::onAppWillResignActive},
      {platform::ui::kApplicationDidBecomeActiveNotification,
       &VKRViewController::onAppDidBecomeActive},
      {platform::ui::kApplicationWillEnterForegroundNotification,
       &VKRViewController::onAppWillEnterForeground},
      {platform::ui::kApplicationDidEnterBackgroundNotification,
       &VKRViewController::onAppDidEnterBackground},
  };
  for (const auto& event : events) {
    observations_.push_back(center.addObserver(
        event.first, nullptr,
        platform::whileAlive(weakSelf(), [handler = event.second](VKRViewController& controller,
                                                                  const platform::Notification&) {
          (controller.*handler)();
        })));
  }

  supportedOrientations_ =
      parseInterfaceOrientations(infoValue("UISupportedInterfaceOrientations"));

  platform::logf("Vokaru native platform version %s is starting.",
                 platform::format("%d.%d.%d", kVersionMajor, kVersionMinor, kVersionPatch).c_str());
  const bool appExitsOnSuspend = infoValue("UIApplicationExitsOnSuspend").intOr(0) != 0;
  // Desktop processes always multitask.
  platform::logf("Multi-tasking -> Device: %s, App: %s", "YES", appExitsOnSuspend ? "NO" : "YES");
  const std::string systemVersion = platform::systemVersion();
  if (platform::compareTextNumerically(systemVersion, "8.0") < 0) {
    platform::logf(
        "CRITICAL: For Vokaru 4.0.0 and above, you will need to upgrade to at least iOS 8.0 or "
        "greater. Your current version of iOS is %s.",
        systemVersion.c_str());
  }

  initialized_ = true;
  return loadSettings();
}

platform::Status VKRViewController::parseSettingsWithParser(platform::XMLParserDelegate& delegate) {
  std::optional<std::filesystem::path> path =
      platform::Bundle::mainBundle()->pathForResource("config", "xml");
  if (!path) {
    return platform::Error::withDescription(
        kVKRConfigErrorDomain, kVKRConfigMissing,
        "ERROR: config.xml does not exist. Please run vokaru-ios/bin/vokaru_plist_to_config_xml "
        "path/to/project.");
  }
  std::ifstream file(*path, std::ios::binary);
  std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad() || !file.is_open()) {
    platform::log("Failed to initialize XML parser.");
    return platform::okStatus();
  }
  platform::XMLParser parser(delegate);
  platform::Status parsed = parser.parse(contents);
  if (parsed.ok()) return parsed;
  const platform::Value& info = parsed.error().userInfo();
  return platform::Error::withDescription(
      kVKRConfigErrorDomain, kVKRConfigParseError,
      platform::format("config.xml parse error line %ld col %ld",
                       static_cast<long>(info[platform::kXMLLineKey].intOr(0)),
                       static_cast<long>(info[platform::kXMLColumnKey].intOr(0))));
}

platform::Status VKRViewController::loadSettings() {
  VKRConfigParser parser;
  platform::Status parsed = parseSettingsWithParser(parser);
  if (!parsed.ok()) return parsed;
  pluginsMap_ = parser.pluginsDict();
  startupPluginNames_ = parser.startupPluginNames();
  {
    platform::MutexLock lock(settingsMutex_);
    settings_ = parser.settings();
  }
  wwwFolderName_ = "www";
  startPage_ = parser.startPage().value_or("index.html");
  pluginObjects_.clear();
  return platform::okStatus();
}

platform::Dictionary VKRViewController::settings() const {
  platform::MutexLock lock(settingsMutex_);
  return settings_;
}

std::shared_ptr<platform::web::WebView> VKRViewController::webView() const {
  return webViewEngine_ ? webViewEngine_->engineWebView() : nullptr;
}

const std::string& VKRViewController::userAgent() {
  if (userAgent_) return *userAgent_;
  const platform::Dictionary preferences = settings();
  std::string base;
  if (baseUserAgent_) {
    base = *baseUserAgent_;
  } else if (const platform::Value* override =
                 vokaruSettingForKey(preferences, "OverrideUserAgent")) {
    base = override->stringOr("");
  } else {
    base = VKRUserAgentUtil::originalUserAgent();
  }
  if (const platform::Value* append = vokaruSettingForKey(preferences, "AppendUserAgent")) {
    userAgent_ = base + " " + append->stringOr("");
  } else {
    userAgent_ = platform::format("%s (%lld)", base.c_str(),
                                  static_cast<long long>(reinterpret_cast<intptr_t>(this)));
  }
  return *userAgent_;
}

// Start page and error page.

namespace {

// A web folder that is a bundle of its own: the start page is a resource in it, named as given.
std::optional<URL> resourceInBundle(const std::string& bundlePath, const std::string& name) {
  std::filesystem::path folder = bundlePath;
  std::shared_ptr<const platform::Bundle> main = platform::Bundle::mainBundle();
  if (folder.is_relative() && main) folder = main->bundlePath() / folder;
  const std::filesystem::path file = folder / name;
  std::error_code error;
  if (name.empty() || !std::filesystem::is_regular_file(file, error)) return std::nullopt;
  platform::Result<URL> url = URL::fileURL(file.string());
  return url.ok() ? std::optional<URL>(*url) : std::nullopt;
}

}  // namespace

std::optional<URL> VKRViewController::webFolderURL(const std::string& reference) {
  platform::Result<URL> parsed = URL::parse(reference);
  const std::string path = parsed.ok() ? parsed->path() : reference;
  std::optional<std::string> file = commandDelegate_->pathForResource(path);
  if (!file) return std::nullopt;
  platform::Result<URL> fileURL = URL::fileURL(*file);
  if (!fileURL.ok()) return std::nullopt;
  const size_t suffix = reference.find_first_of("?#");
  if (suffix == std::string::npos) return *fileURL;
  platform::Result<URL> withSuffix = fileURL->resolve(std::string_view(reference).substr(suffix));
  return withSuffix.ok() ? std::optional<URL>(*withSuffix) : std::nullopt;
}

std::optional<URL> VKRViewController::appUrl() {
  if (startPage_.find("://") != std::string::npos) {
    platform::Result<URL> url = URL::parse(startPage_);
    return url.ok() ? std::optional<URL>(*url) : std::nullopt;
  }
  if (wwwFolderName_.find("://") != std::string::npos) {
    platform::Result<URL> url = URL::parse(wwwFolderName_ + "/" + startPage_);
    return url.ok() ? std::optional<URL>(*url) : std::nullopt;
  }
  if (wwwFolderName_.ends_with(".bundle")) return resourceInBundle(wwwFolderName_, startPage_);
  return webFolderURL(startPage_);
}

std::optional<URL> VKRViewController::errorURL() {
  const platform::Dictionary preferences = settings();
  const platform::Value* setting = vokaruSettingForKey(preferences, "ErrorUrl");
  const std::string* text = setting ? setting->stringIf() : nullptr;
  if (!text) return std::nullopt;
  if (text->find("://") != std::string::npos) {
    platform::Result<URL> url = URL::parse(*text);
    return url.ok() ? std::optional<URL>(*url) : std::nullopt;
  }
  return webFolderURL(*text);
}

std::optional<URL> VKRViewController::errorURLWithMessage(const std::string& message) {
  std::optional<URL> errorPage = errorURL();
  if (!errorPage) return std::nullopt;
  platform::Result<URL> withError = errorPage->resolve(
      "?error=" + platform::percentEncode(message, platform::kURLQueryValueAllowed));
  return withError.ok() ? std::optional<URL>(*withError) : std::nullopt;
}

// Plugin registry.

std::shared_ptr<VKRPlugin> VKRViewController::getCommandInstance(std::string_view pluginName) {
  VKR_ASSERT_MAIN_THREAD();
  const platform::Value* mapped = pluginsMap_.find(vkrLowercase(pluginName));
  const std::string* className = mapped ? mapped->stringIf() : nullptr;
  if (!className) return nullptr;
  if (auto it = pluginObjects_.find(*className); it != pluginObjects_.end()) return it->second;
  std::shared_ptr<VKRPlugin> plugin =
      VKRPluginRegistry::instance().create(*className, webViewEngine_);
  if (!plugin) {
    platform::logf("VKRPlugin class %s (pluginName: %.*s) does not exist.", className->c_str(),
                   static_cast<int>(pluginName.size()), pluginName.data());
    return nullptr;
  }
  registerPluginWithClassName(plugin, *className);
  return plugin;
}

void VKRViewController::registerPluginWithClassName(const std::shared_ptr<VKRPlugin>& plugin,
                                                    const std::string& className) {
  plugin->setViewController(weakSelf());
  plugin->setCommandDelegate(commandDelegate_);
  pluginObjects_[className] = plugin;
  plugin->pluginInitialize();
}

void VKRViewController::registerPluginWithPluginName(const std::shared_ptr<VKRPlugin>& plugin,
                                                     std::string_view pluginName) {
  const std::string className = plugin->className();
  pluginsMap_.set(vkrLowercase(pluginName), className);
  registerPluginWithClassName(plugin, className);
}

// The web view.

std::shared_ptr<platform::web::WebView> VKRViewController::newVokaruViewWithFrame(
    platform::ui::Rect frame) {
  const platform::Dictionary preferences = settings();
  const platform::Value* setting = vokaruSettingForKey(preferences, "VokaruWebViewEngine");
  const std::string* configured = setting ? setting->stringIf() : nullptr;
  const std::string engineName = configured ? *configured : kDefaultWebViewEngine;

  std::shared_ptr<VKRWebViewEngineProtocol> engine =
      VKRWebViewEngineRegistry::instance().create(engineName, frame);
  if (engine) {
    std::optional<URL> start = appUrl();
    const platform::web::URLRequest request(start ? start->absoluteString() : std::string());
    if (!engine->canLoadRequest(request)) engine = nullptr;
  }
  if (!engine) engine = std::make_shared<VKRUIWebViewEngine>(frame);
  webViewEngine_ = engine;
  if (auto plugin = std::dynamic_pointer_cast<VKRPlugin>(engine)) {
    registerPluginWithClassName(plugin, engineName);
  }
  return engine->engineWebView();
}

void VKRViewController::createGapView() {
  std::shared_ptr<platform::ui::View> container = view();
  std::shared_ptr<platform::web::WebView> webView = newVokaruViewWithFrame(container->bounds());
  if (!webView) return;
  webView->setAutoresizingMask(platform::ui::kFlexibleWidth | platform::ui::kFlexibleHeight);
  container->addSubview(webView);
  container->sendSubviewToBack(webView);
}

void VKRViewController::viewDidLoad() {
  VKR_ASSERT_MAIN_THREAD();
  platform::ui::ViewController::viewDidLoad();

  const std::string backupType = VKRLocalStorage::backupTypeFromSettings(settings());
  {
    platform::MutexLock lock(settingsMutex_);
    setVokaruSetting(settings_, backupType, "BackupWebStorage");
  }
  VKRLocalStorage::fixupDatabaseLocationsWithBackupType(backupType);

  if (!webView()) createGapView();

  if (backupType == "local" && pluginsMap_.find("localstorage")) {
    startupPluginNames_.push_back("localstorage");
  }
  if (!startupPluginNames_.empty()) {
    VKRTimer::start("TotalPluginStartup");
    // A start-up plugin may add names; only those listed now start here.
    const std::vector<std::string> names = startupPluginNames_;
    for (const std::string& name : names) {
      VKRTimer::start(name);
      getCommandInstance(name);
      VKRTimer::stop(name);
    }
    VKRTimer::stop("TotalPluginStartup");
  }
  // The start page loads with this controller's user agent, once no other web view loads with
  // its own.
  VKRUserAgentUtil::acquireLock([weak = weakSelf()](int64_t token) {
    std::shared_ptr<VKRViewController> self = weak.lock();
    if (!self) {
      VKRUserAgentUtil::releaseLock(&token);  // hand it on: nobody here needs it any more
      return;
    }
    self->userAgentLockToken_ = token;
    VKRUserAgentUtil::setUserAgent(self->userAgent(), token);
    self->loadStartPage();
  });
}

void VKRViewController::loadStartPage() {
  VKR_ASSERT_MAIN_THREAD();
  if (!webViewEngine_) return;
  if (std::optional<URL> start = appUrl()) {
    webViewEngine_->loadRequest(
        platform::web::URLRequest(start->absoluteString(), kStartPageTimeout,
                                  platform::web::CachePolicy::UseProtocolCachePolicy));
    return;
  }
  const std::string message = platform::format("ERROR: Start Page at '%s/%s' was not found.",
                                               wwwFolderName_.c_str(), startPage_.c_str());
  platform::log(message);
  if (std::optional<URL> errorPage = errorURLWithMessage(message)) {
    webViewEngine_->loadRequest(platform::web::URLRequest(errorPage->absoluteString()));
    platform::log(errorPage->absoluteString());
    return;
  }
  webViewEngine_->loadHTMLString("<html><body> " + message + " </body></html>", "");
}

void VKRViewController::viewDidUnload() { VKRUserAgentUtil::releaseLock(&userAgentLockToken_); }

void VKRViewController::didReceiveMemoryWarning() {
  bool doPurge = true;
  for (const auto& [className, plugin] : pluginObjects_) {
    if (plugin->hasPendingOperation()) {
      platform::logf(
          "Plugin '%s' has a pending operation, memory purge is delayed for "
          "didReceiveMemoryWarning.",
          className.c_str());
      doPurge = false;
    }
  }
  if (doPurge) platform::ui::ViewController::didReceiveMemoryWarning();
}

// Bundle information.

std::optional<std::string> VKRViewController::appURLScheme() const {
  const platform::Value types = infoValue("CFBundleURLTypes");
  const platform::Value::Array* list = types.arrayIf();
  if (!list || list->empty()) return std::nullopt;
  const platform::Value& schemes = list->front()["CFBundleURLSchemes"];
  const platform::Value::Array* names = schemes.arrayIf();
  if (!names || names->empty() || !names->front().stringIf()) return std::nullopt;
  return *names->front().stringIf();
}

std::vector<int64_t> VKRViewController::parseInterfaceOrientations(const platform::Value& names) {
  static const std::map<std::string, int64_t, std::less<>> kOrientations = {
      {"UIInterfaceOrientationPortrait", kVKRInterfaceOrientationPortrait},
      {"UIInterfaceOrientationPortraitUpsideDown", kVKRInterfaceOrientationPortraitUpsideDown},
      {"UIInterfaceOrientationLandscapeLeft", kVKRInterfaceOrientationLandscapeLeft},
      {"UIInterfaceOrientationLandscapeRight", kVKRInterfaceOrientationLandscapeRight},
  };
  std::vector<int64_t> orientations;
  if (const platform::Value::Array* list = names.arrayIf()) {
    for (const platform::Value& name : *list) {
      const std::string* text = name.stringIf();
      auto found = text ? kOrientations.find(*text) : kOrientations.end();
      if (found != kOrientations.end()) orientations.push_back(found->second);
    }
  }
  if (orientations.empty()) orientations.push_back(kVKRInterfaceOrientationPortrait);
  return orientations;
}

bool VKRViewController::supportsOrientation(int64_t orientation) const {
  return std::find(supportedOrientations_.begin(), supportedOrientations_.end(), orientation) !=
         supportedOrientations_.end();
}

unsigned VKRViewController::supportedInterfaceOrientations() const {
  unsigned mask = 0;
  for (int64_t orientation : supportedOrientations_) {
    if (orientation >= 1 && orientation <= 4) mask |= 1u << orientation;
  }
  return mask;
}

// The application's life cycle.

void VKRViewController::onAppWillResignActive() {
  commandDelegate_->evalJsScheduledOnRunLoop(kResignScript, false);
}

void VKRViewController::onAppWillEnterForeground() {
  commandDelegate_->evalJs(kResumeScript);
  platform::ui::Pasteboard& pasteboard = platform::ui::Pasteboard::general();
  if (std::optional<std::string> text = pasteboard.string()) {
    pasteboard.setValue(*text, platform::ui::kPasteboardTypeText);
  }
}

void VKRViewController::onAppDidBecomeActive() { commandDelegate_->evalJs(kActiveScript); }

void VKRViewController::onAppDidEnterBackground() {
  commandDelegate_->evalJsScheduledOnRunLoop(kPauseScript, false);
}

void VKRViewController::onAppWillTerminate() { deleteTemporaryFiles(); }

// The app's own temporary folder only: the shared /tmp holds other programs' files.
void VKRViewController::deleteTemporaryFiles() {
  const std::filesystem::path folder = platform::AppHome::temporary();
  platform::Result<std::vector<std::string>> entries =
      platform::FileManager::contentsOfDirectory(folder);
  if (!entries.ok()) return;
  for (const std::string& entry : *entries) {
    platform::Status removed = platform::FileManager::removeItem(folder / entry);
    if (!removed.ok()) {
      platform::logf("Failed to delete: %s (error: %s)", (folder / entry).c_str(),
                     removed.error().description().c_str());
    }
  }
}
