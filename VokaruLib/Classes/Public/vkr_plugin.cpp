#include "VokaruLib/Classes/Public/vkr_plugin.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/storage/bundle.h"
#include "platform/ui/application.h"
#include "platform/ui/image_file.h"
#include "platform/ui/screen.h"

VKRPlugin::VKRPlugin(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine)
    : webViewEngine_(webViewEngine) {
  platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
  observations_.push_back(
      center.addObserver(platform::ui::kApplicationWillTerminateNotification, nullptr,
                         [this](const platform::Notification&) { onAppTerminate(); }));
  observations_.push_back(
      center.addObserver(platform::ui::kApplicationDidReceiveMemoryWarningNotification, nullptr,
                         [this](const platform::Notification&) { onMemoryWarning(); }));
  observations_.push_back(center.addObserver(
      VKRPluginHandleOpenURLNotification, nullptr,
      [this](const platform::Notification& notification) { handleOpenURL(notification); }));
  // Only resets of this engine's web view; without a web view there is nothing to reset.
  if (std::shared_ptr<platform::web::WebView> view = webView()) {
    observations_.push_back(
        center.addObserver(VKRPluginResetNotification, view.get(),
                           [this](const platform::Notification&) { onReset(); }));
  }
}

// Observations end before the members they call are gone.
VKRPlugin::~VKRPlugin() { observations_.clear(); }

std::shared_ptr<platform::web::WebView> VKRPlugin::webView() const {
  std::shared_ptr<VKRWebViewEngineProtocol> engine = webViewEngine();
  return engine ? engine->engineWebView() : nullptr;
}

void VKRPlugin::dispose() {
  viewController_.reset();
  commandDelegate_.reset();
}

bool VKRPlugin::respondsToAction(std::string_view action) const {
  return actions_.find(action) != actions_.end();
}

bool VKRPlugin::performAction(std::string_view action, const VKRInvokedUrlCommand& command) {
  auto it = actions_.find(action);
  if (it == actions_.end()) return false;
  it->second(command);
  return true;
}

std::shared_ptr<platform::ui::ApplicationDelegate> VKRPlugin::appDelegate() const {
  return platform::ui::Application::shared().delegate();
}

std::string VKRPlugin::className() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  return name;
}

std::string VKRPlugin::pluginLocalizedString(std::string_view key) const {
  auto main = platform::Bundle::mainBundle();
  return platform::Bundle(main->bundlePath() / (className() + ".bundle")).localizedString(key);
}

std::optional<platform::ui::Image> VKRPlugin::pluginImageResource(std::string_view name) const {
  auto main = platform::Bundle::mainBundle();
  const int scale = static_cast<int>(platform::ui::Screen::main().scale());
  std::optional<std::filesystem::path> file = platform::ui::findNamedImage(
      main->bundlePath(), className() + ".bundle/" + std::string(name), scale);
  if (!file) return std::nullopt;
  platform::Result<platform::ui::Image> image = platform::ui::readImageFile(*file);
  if (!image) return std::nullopt;
  return std::move(*image);
}
