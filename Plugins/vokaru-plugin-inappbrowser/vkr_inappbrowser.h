#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_options.h"
#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_view_controller.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/regex.h"
#include "platform/foundation/url.h"

// The in-app browser: opens a URL in the app's own web view ("_self"), in another program
// ("_system") or in a browser window laid over the app (any other target). While a window exists
// its page-load events go to the callback of the last open, and the page can inject script and
// style into the window's page; answers come back as navigations to "vkr-iab://<callback id>/
// <JSON array>", which are intercepted. Answers reach only callback ids this plugin put into an
// injection, so a page in the window cannot forge results for others. Main thread only.
class VKRInAppBrowser : public VKRPlugin,
                        public VKRInAppBrowserNavigationDelegate,
                        public std::enable_shared_from_this<VKRInAppBrowser> {
 public:
  // The app store's web host: its pages open in the system, never in the window.
  static constexpr const char* kAppStoreWebHost = "apps.vokaru.org";
  static constexpr const char* kAnswerScheme = "vkr-iab";
  static constexpr const char* kCallbackIdPattern = "^InAppBrowser[0-9]{1,10}$";
  // Cookies of this domain survive the window's cache clearing.
  static constexpr const char* kFileCookieDomain = ".^filecookies^";
  static constexpr int64_t kNoStatusBarStyle = -1;

  explicit VKRInAppBrowser(std::shared_ptr<VKRWebViewEngineProtocol> engine);
  ~VKRInAppBrowser() override;

  void pluginInitialize() override;
  // A new page in the app's web view closes the window.
  void onReset() override;

  // Page actions.
  void open(const VKRInvokedUrlCommand& command);
  void close(const VKRInvokedUrlCommand& command);
  void show(const VKRInvokedUrlCommand& command);
  void injectScriptCode(const VKRInvokedUrlCommand& command);
  void injectScriptFile(const VKRInvokedUrlCommand& command);
  void injectStyleCode(const VKRInvokedUrlCommand& command);
  void injectStyleFile(const VKRInvokedUrlCommand& command);

  // The window's navigation delegate.
  bool shouldStartLoad(platform::web::WebView& webView,
                       const platform::web::NavigationAction& action) override;
  void didFinishLoad(platform::web::WebView& webView) override;
  void didFailLoad(platform::web::WebView& webView, const platform::Error& error) override;
  void browserExit() override;

  // Whether the URL's host is the app store's web host (compared exactly).
  static bool isSystemUrl(const platform::URL& url);
  // "InAppBrowser" and 1 to 10 digits, all of the text.
  bool isValidCallbackId(std::string_view callbackId);
  // The answer an injection's "vkr-iab" URL path (percent-encoded, with its leading "/") carries:
  // OK with the decoded JSON array, OK with an empty array for no value, status 8 for anything
  // else.
  static VKRPluginResult resultForAnswerPath(std::string_view path);

  const std::shared_ptr<VKRInAppBrowserViewController>& inAppBrowserViewController() const {
    return inAppBrowserViewController_;
  }
  const std::optional<std::string>& callbackId() const { return callbackId_; }
  int64_t previousStatusBarStyle() const { return previousStatusBarStyle_; }

 private:
  void openInVokaruWebView(const platform::URL& url);
  void openInSystem(const std::string& url);
  void openInInAppBrowser(const platform::URL& url, std::string_view optionText);
  // What a new window needs to start in the app's web process: only for one of the app's own
  // pages while the app's web view shows one too.
  std::optional<VKRInAppBrowserViewController::AppProcess> appProcessFor(const platform::URL& url);
  void applyOptions(VKRInAppBrowserViewController& window, const VKRInAppBrowserOptions& options);
  // Runs `then` once the cookies the options ask to clear are gone (at once when none).
  void clearCookies(const VKRInAppBrowserOptions& options, std::function<void()> then);
  void showWindow();
  void closeWindow();
  // Injects into the window's page. With an answer wanted, `answeredWrapper` (its "%@" the
  // callback id, its "%%@" the source) sends it back; else `plainWrapper` (its "%@" the source;
  // none evaluates the source itself).
  void inject(const VKRInvokedUrlCommand& command, std::string_view answeredWrapper,
              std::optional<std::string_view> plainWrapper);
  void injectDeferredObject(const std::string& source, const std::optional<std::string>& callbackId,
                            std::optional<std::string_view> wrapper);
  void sendEvent(platform::Dictionary event, int32_t status, bool keepCallback);
  std::shared_ptr<VKRInAppBrowser> self() { return shared_from_this(); }

  int64_t previousStatusBarStyle_ = kNoStatusBarStyle;
  std::shared_ptr<VKRInAppBrowserViewController> inAppBrowserViewController_;
  std::optional<std::string> callbackId_;
  std::optional<platform::Regex> callbackIdPattern_;
  // The callback ids put into injections whose answer has not come yet.
  std::set<std::string, std::less<>> issuedCallbackIds_;
};
