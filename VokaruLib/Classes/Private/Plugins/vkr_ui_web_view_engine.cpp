#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_engine.h"

#include <array>
#include <string_view>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "VokaruLib/Classes/Public/vkr_ui_web_view_delegate.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/log.h"
#include "platform/web/web_engine.h"

namespace {

// The index of the preference's lower-cased text in the list; 0 when absent, not text or not
// listed.
template <size_t N>
int64_t indexSetting(const platform::Dictionary& preferences, std::string_view key,
                     const std::array<std::string_view, N>& values) {
  const platform::Value* setting = vokaruSettingForKey(preferences, key);
  const std::string* text = setting ? setting->stringIf() : nullptr;
  if (!text) return 0;
  const std::string lower = vkrLowercase(*text);
  for (size_t i = 0; i < N; ++i) {
    if (values[i] == lower) return static_cast<int64_t>(i);
  }
  return 0;
}

}  // namespace

VKRUIWebViewEngine::VKRUIWebViewEngine(platform::ui::Rect frame) {
  VKR_ASSERT_MAIN_THREAD();
  if (std::shared_ptr<platform::web::WebEngine> engine = platform::web::webEngine()) {
    webView_ = engine->createWebView({.frame = frame});
  }
  platform::log("Using UIWebView");
}

void VKRUIWebViewEngine::pluginInitialize() {
  std::shared_ptr<VKRViewController> controller = viewController();
  // A host controller that is a web view delegate itself gets the events directly.
  if (auto delegate = std::dynamic_pointer_cast<platform::web::WebViewDelegate>(controller)) {
    uiWebViewDelegate_ = std::make_shared<VKRUIWebViewDelegate>(delegate);
  } else {
    navWebViewDelegate_ = std::make_shared<VKRUIWebViewNavigationDelegate>(
        std::static_pointer_cast<VKRPlugin>(shared_from_this()));
    uiWebViewDelegate_ = std::make_shared<VKRUIWebViewDelegate>(navWebViewDelegate_);
  }
  if (webView_) webView_->setDelegate(uiWebViewDelegate_);
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    updateSettings(delegate->settings());
  }
}

std::shared_ptr<platform::web::WebViewDelegate> VKRUIWebViewEngine::uiWebViewDelegate() const {
  return uiWebViewDelegate_;
}

void VKRUIWebViewEngine::evaluateJavaScript(const std::string& script,
                                            EvaluationCompletion completion) {
  if (!webView_) return;
  if (!completion) {
    webView_->evaluateJavaScript(script, nullptr);
    return;
  }
  webView_->evaluateJavaScript(
      script, [completion = std::move(completion)](platform::Result<std::string> result) {
        if (result.ok()) {
          completion(platform::Value(std::move(result.value())), std::nullopt);
        } else {
          completion(platform::Value(std::string()), result.error());
        }
      });
}

// As the platform's web views do, a load takes the user agent the user-agent lock's holder set.
void VKRUIWebViewEngine::applyUserAgentDefault() {
  VKRUserAgentUtil::applyUserAgentDefault(*webView_);
}

void VKRUIWebViewEngine::loadRequest(const platform::web::URLRequest& request) {
  VKR_ASSERT_MAIN_THREAD();
  if (!webView_) return;
  applyUserAgentDefault();
  webView_->loadRequest(request);
}

void VKRUIWebViewEngine::loadHTMLString(const std::string& html, const std::string& baseURL) {
  VKR_ASSERT_MAIN_THREAD();
  if (!webView_) return;
  applyUserAgentDefault();
  webView_->loadHTMLString(html, baseURL);
}

std::string VKRUIWebViewEngine::url() { return webView_ ? webView_->url() : std::string(); }

// Any request, also one without a URL (a missing start page): the controller keeps this engine
// and shows its error page rather than making a second engine.
bool VKRUIWebViewEngine::canLoadRequest(const platform::web::URLRequest&) { return true; }

void VKRUIWebViewEngine::updateWithInfo(const VKRWebViewEngineInfo& info) {
  VKR_ASSERT_MAIN_THREAD();
  if (info.uiWebViewDelegate) {
    uiWebViewDelegate_ = std::make_shared<VKRUIWebViewDelegate>(info.uiWebViewDelegate);
    if (webView_) webView_->setDelegate(uiWebViewDelegate_);
  }
  if (info.webViewPreferences) updateSettings(*info.webViewPreferences);
}

void VKRUIWebViewEngine::updateSettings(const platform::Dictionary& preferences) {
  if (!webView_) return;
  platform::web::WebViewSettings settings = webView_->settings();
  settings.scalesPageToFit = vokaruBoolSettingForKey(preferences, "EnableViewportScale", false);
  settings.allowsInlineMediaPlayback =
      vokaruBoolSettingForKey(preferences, "AllowInlineMediaPlayback", false);
  settings.mediaPlaybackRequiresUserAction =
      vokaruBoolSettingForKey(preferences, "MediaPlaybackRequiresUserAction", true);
  settings.mediaPlaybackAllowsAirPlay =
      vokaruBoolSettingForKey(preferences, "MediaPlaybackAllowsAirPlay", true);
  settings.keyboardDisplayRequiresUserAction =
      vokaruBoolSettingForKey(preferences, "KeyboardDisplayRequiresUserAction", true);
  settings.suppressesIncrementalRendering =
      vokaruBoolSettingForKey(preferences, "SuppressesIncrementalRendering", false);
  settings.gapBetweenPages = vokaruFloatSettingForKey(preferences, "GapBetweenPages", 0.0);
  settings.pageLength = vokaruFloatSettingForKey(preferences, "PageLength", 0.0);
  if (vokaruBoolSettingForKey(preferences, "DisallowOverscroll", false)) settings.bounces = false;
  const platform::Value* speed = vokaruSettingForKey(preferences, "UIWebViewDecelerationSpeed");
  if (!speed || speed->stringIf() == nullptr || *speed->stringIf() != "fast") {
    settings.decelerationRate = platform::web::kDecelerationRateNormal;
  }
  settings.paginationBreakingMode = indexSetting(preferences, "PaginationBreakingMode",
                                                 std::array<std::string_view, 2>{"page", "column"});
  settings.paginationMode =
      indexSetting(preferences, "PaginationMode",
                   std::array<std::string_view, 5>{"unpaginated", "lefttoright", "toptobottom",
                                                   "bottomtotop", "righttoleft"});
  webView_->setSettings(settings);
}
