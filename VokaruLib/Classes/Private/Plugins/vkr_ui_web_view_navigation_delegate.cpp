#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"

#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_error.h"
#include "platform/ui/application.h"

using platform::web::NavigationAction;
using platform::web::WebView;

namespace {

std::string schemeOf(const std::string& url) {
  platform::Result<platform::URL> parsed = platform::URL::parse(url);
  return parsed.ok() ? parsed->scheme() : std::string();
}

// The URL without its query and fragment.
std::string pageOf(const std::string& url) { return url.substr(0, url.find_first_of("?#")); }

}  // namespace

VKRUIWebViewNavigationDelegate::VKRUIWebViewNavigationDelegate(
    std::weak_ptr<VKRPlugin> enginePlugin)
    : enginePlugin_(std::move(enginePlugin)) {}

std::shared_ptr<VKRViewController> VKRUIWebViewNavigationDelegate::viewController() const {
  std::shared_ptr<VKRPlugin> engine = enginePlugin_.lock();
  return engine ? engine->viewController() : nullptr;
}

bool VKRUIWebViewNavigationDelegate::defaultResourcePolicyForURL(const std::string& url) {
  return schemeOf(url) == "file";
}

bool VKRUIWebViewNavigationDelegate::shouldStartLoad(WebView&, const NavigationAction& action) {
  VKR_ASSERT_MAIN_THREAD();
  std::shared_ptr<VKRViewController> controller = viewController();
  if (!controller) return false;
  const std::string& url = action.request.url;
  if (schemeOf(url) == "vkr") {
    std::shared_ptr<VKRCommandQueue> queue = controller->commandQueue();
    queue->fetchCommandsFromJs();
    queue->executePending();
    return false;
  }
  // The blank page that HTML text loaded without a base URL (the runtime's own error text) shows.
  if (url == "about:blank") return true;

  // A plugin's answer may make plugins: walk a copy.
  const VKRViewController::PluginObjects plugins = controller->pluginObjects();
  bool asked = false;
  for (const auto& [className, plugin] : plugins) {
    std::optional<bool> answer = plugin->shouldOverrideLoadWithRequest(action.request, action.type);
    if (!answer) continue;
    if (!*answer) return false;
    asked = true;
  }
  if (asked) return true;
  if (defaultResourcePolicyForURL(url)) return true;
  platform::NotificationCenter::defaultCenter().post(VKRPluginHandleOpenURLNotification, nullptr,
                                                     platform::Value(), url);
  return false;
}

void VKRUIWebViewNavigationDelegate::didStartLoad(WebView& webView) {
  VKR_ASSERT_MAIN_THREAD();
  platform::log("Resetting plugins due to page load.");
  if (std::shared_ptr<VKRViewController> controller = viewController()) {
    controller->commandQueue()->resetRequestId();
  }
  platform::NotificationCenter::defaultCenter().post(VKRPluginResetNotification, &webView);
}

void VKRUIWebViewNavigationDelegate::releaseUserAgentLock() const {
  if (std::shared_ptr<VKRViewController> controller = viewController()) {
    VKRUserAgentUtil::releaseLock(controller->userAgentLockToken());
  }
}

void VKRUIWebViewNavigationDelegate::didFinishLoad(WebView& webView) {
  VKR_ASSERT_MAIN_THREAD();
  platform::logf("Finished load of: %s", webView.url().c_str());
  releaseUserAgentLock();
  platform::ui::Application::shared().setNetworkActivityIndicatorVisible(false);
  platform::NotificationCenter::defaultCenter().post(VKRPageDidLoadNotification, &webView);
}

void VKRUIWebViewNavigationDelegate::didFailLoad(WebView& webView, const platform::Error& error) {
  VKR_ASSERT_MAIN_THREAD();
  releaseUserAgentLock();
  const std::string message = "Failed to load webpage with error: " + error.localizedDescription();
  platform::log(message);
  std::shared_ptr<VKRViewController> controller = viewController();
  std::optional<platform::URL> errorPage =
      controller ? controller->errorURLWithMessage(message) : std::nullopt;
  if (!errorPage) return;
  // The error page failing to load would load it again, and again.
  const std::string* failing = error.userInfo()[platform::kURLErrorFailingURLStringKey].stringIf();
  if (failing && pageOf(*failing) == pageOf(errorPage->absoluteString())) return;
  webView.loadRequest(platform::web::URLRequest(errorPage->absoluteString()));
  platform::log(errorPage->absoluteString());
}
