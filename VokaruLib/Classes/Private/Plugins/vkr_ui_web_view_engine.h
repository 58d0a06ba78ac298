#pragma once

#include <memory>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/ui/geometry.h"

class VKRUIWebViewDelegate;
class VKRUIWebViewNavigationDelegate;

// The runtime's web view engine: a web view of the platform's web engine, configured from the
// web-view preferences of config.xml, whose navigations and loads pass through the page-load
// state machine to the navigation delegate (the bridge's "vkr" signal, the plugins' veto, page
// resets and loads). It is itself a plugin, registered with the host controller. Main thread only.
class VKRUIWebViewEngine : public VKRPlugin,
                           public VKRWebViewEngineProtocol,
                           public std::enable_shared_from_this<VKRUIWebViewEngine> {
 public:
  // Makes the web view; it has none when no web engine is installed.
  explicit VKRUIWebViewEngine(platform::ui::Rect frame);

  // Installs the web view's delegates and applies the controller's preferences.
  void pluginInitialize() override;

  // Script runs asynchronously in the page; the completion (when given) runs later on the main
  // thread with the script's text, or with an empty text and the error. Scripts run in the order
  // given.
  void evaluateJavaScript(const std::string& script, EvaluationCompletion completion) override;
  void loadRequest(const platform::web::URLRequest& request) override;
  void loadHTMLString(const std::string& html, const std::string& baseURL) override;
  std::string url() override;
  // Any request with a URL.
  bool canLoadRequest(const platform::web::URLRequest& request) override;
  void updateWithInfo(const VKRWebViewEngineInfo& info) override;
  std::shared_ptr<platform::web::WebView> engineWebView() override { return webView_; }

  // Applies the web-view preferences (lower-cased keys) to the web view.
  void updateSettings(const platform::Dictionary& preferences);

  std::shared_ptr<platform::web::WebViewDelegate> uiWebViewDelegate() const;
  std::shared_ptr<VKRUIWebViewNavigationDelegate> navWebViewDelegate() const {
    return navWebViewDelegate_;
  }

 private:
  void applyUserAgentDefault();

  std::shared_ptr<platform::web::WebView> webView_;
  std::shared_ptr<VKRUIWebViewDelegate> uiWebViewDelegate_;
  std::shared_ptr<VKRUIWebViewNavigationDelegate> navWebViewDelegate_;
};
