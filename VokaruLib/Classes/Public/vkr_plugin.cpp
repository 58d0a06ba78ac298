#include "VokaruLib/Classes/Public/vkr_plugin.h"

VKRPlugin::VKRPlugin(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine)
    : webViewEngine_(webViewEngine) {
  openURLObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPluginHandleOpenURLNotification, nullptr,
      [this](const platform::Notification& notification) { handleOpenURL(notification); });
}

// Observations end before the members they call are gone.
VKRPlugin::~VKRPlugin() { openURLObservation_.reset(); }

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
