#pragma once

#include <memory>
#include <string>

#include "platform/web/web_view.h"

class VKRPlugin;
class VKRViewController;

// Posted, with the engine's web view as sender, when a page of the main web view has loaded.
inline constexpr const char* VKRPageDidLoadNotification = "VKRPageDidLoadNotification";

// The bridge's side of the main web view's navigation, behind the page-load state machine: a
// navigation to the "vkr" scheme makes the command queue pull and run the page's commands (and
// never loads); other navigations are decided by the plugins that take part (any refusal wins);
// with none taking part only file URLs load and others are offered to whoever opens URLs. A page
// start resets the plugins, a page load is announced, a failed load shows the "ErrorUrl" page.
// Main thread only.
class VKRUIWebViewNavigationDelegate : public platform::web::WebViewDelegate {
 public:
  explicit VKRUIWebViewNavigationDelegate(std::weak_ptr<VKRPlugin> enginePlugin);

  bool shouldStartLoad(platform::web::WebView& webView,
                       const platform::web::NavigationAction& action) override;
  void didStartLoad(platform::web::WebView& webView) override;
  void didFinishLoad(platform::web::WebView& webView) override;
  void didFailLoad(platform::web::WebView& webView, const platform::Error& error) override;

  // Whether a URL no plugin decides may load: file URLs only.
  static bool defaultResourcePolicyForURL(const std::string& url);

 private:
  std::shared_ptr<VKRViewController> viewController() const;
  void releaseUserAgentLock() const;

  std::weak_ptr<VKRPlugin> enginePlugin_;
};
