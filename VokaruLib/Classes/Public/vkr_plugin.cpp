#include "VokaruLib/Classes/Public/vkr_plugin.h"

#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/ui/application.h"

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
