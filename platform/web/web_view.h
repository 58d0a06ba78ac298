#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/clock.h"
#include "platform/foundation/error.h"
#include "platform/storage/app_container.h"
#include "platform/ui/image.h"
#include "platform/ui/view.h"
#include "platform/web/navigation.h"
#include "platform/web/url_request.h"

namespace platform::web {

class WebView;

// What a page may do and how it is shown. Fields the engine has no counterpart for are kept (so
// a caller reads back what it set) and have no effect; each says so.
struct WebViewSettings {
  // Zooms a page wider than the view out to the view's width.
  bool scalesPageToFit = false;
  // Media plays in the page rather than full screen (the engine always plays inline).
  bool allowsInlineMediaPlayback = false;
  // Media with sound starts only from a user action.
  bool mediaPlaybackRequiresUserAction = true;
  // Kept, no effect.
  bool mediaPlaybackAllowsAirPlay = true;
  bool keyboardDisplayRequiresUserAction = true;
  bool suppressesIncrementalRendering = false;
  double gapBetweenPages = 0;
  double pageLength = 0;
  int64_t paginationMode = 0;          // 0 unpaginated
  int64_t paginationBreakingMode = 0;  // 0 page
  bool bounces = true;
  double decelerationRate = 0.99;  // kDecelerationRateFast

  bool operator==(const WebViewSettings&) const = default;
};

inline constexpr double kDecelerationRateNormal = 0.998;
inline constexpr double kDecelerationRateFast = 0.99;

// Receives a web view's navigation questions and load events, on the main thread. A web view
// reports one start and one finish or failure per top-level page load.
class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;
  // Asked before every navigation, top-level and in frames; answering false refuses it: nothing
  // of it loads and no load event follows.
  virtual bool shouldStartLoad(WebView& webView, const NavigationAction& action) {
    (void)webView, (void)action;
    return true;
  }
  virtual void didStartLoad(WebView& webView) { (void)webView; }
  virtual void didFinishLoad(WebView& webView) { (void)webView; }
  // The error is in kURLErrorDomain (a cancelled load is kURLErrorCancelled, -999) or
  // kWebViewErrorDomain; its user info holds the failing URL under kURLErrorFailingURLStringKey.
  virtual void didFailLoad(WebView& webView, const Error& error) { (void)webView, (void)error; }
};

// A view that shows web pages: loads, history, script evaluation, navigation policy and load
// events through its delegate. WebEngine (web_engine.h) creates them. Main thread only.
class WebView : public ui::View {
 public:
  // The result of a script as text: a string as it is, a boolean "true"/"false", a number in
  // its shortest form, other values as the page's String() gives them, undefined and null "".
  using ScriptCompletion = std::function<void(Result<std::string> result)>;
  using SnapshotCompletion = std::function<void(Result<ui::Image> image)>;

  static constexpr Duration kDefaultScriptTimeout = std::chrono::seconds(5);

  ~WebView() override;

  // Loading. A request's timeoutInterval stops a load that has not finished in time and reports
  // kURLErrorTimedOut. An empty base URL loads the HTML as "about:blank".
  virtual void loadRequest(const URLRequest& request) = 0;
  virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
  virtual void stopLoading() = 0;
  virtual void reload() = 0;
  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
  virtual bool isLoading() const = 0;
  // The URL of the current top-level page ("" before the first load) and its title.
  virtual std::string url() const = 0;
  virtual std::string title() const = 0;

  // Runs the script in the page's main frame. The completion runs later on the main thread, once,
  // with the text or an error in kWebViewErrorDomain.
  virtual void evaluateJavaScript(const std::string& script, ScriptCompletion completion) = 0;
  // Runs the script and waits for its text by running the main loop (other main-loop sources
  // run meanwhile: callers must tolerate re-entry). Gives up after `timeout` of real time with
  // kWebViewErrorScriptTimedOut.
  Result<std::string> evaluateJavaScriptSync(const std::string& script,
                                             Duration timeout = kDefaultScriptTimeout);

  // The delegate is held weakly; events for a delegate that is gone are dropped.
  void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<WebViewDelegate> delegate() const { return delegate_.lock(); }

  const WebViewSettings& settings() const { return settings_; }
  void setSettings(const WebViewSettings& settings);

  // The user agent this view sends from its next load on; "" means the engine's default.
  const std::string& customUserAgent() const { return customUserAgent_; }
  void setCustomUserAgent(std::string userAgent);
  // The user agent in effect.
  virtual std::string userAgent() const = 0;

  // Renders the visible page into an image of the view's size.
  virtual void snapshot(SnapshotCompletion completion) = 0;

  // When set, navigations to "file:" URLs outside the container are refused before the delegate
  // is asked (the engine set it when it made the view); null: every file is reachable.
  const std::shared_ptr<const AppContainer>& fileContainer() const { return fileContainer_; }
  void setFileContainer(std::shared_ptr<const AppContainer> container) {
    fileContainer_ = std::move(container);
  }

 protected:
  explicit WebView(ui::Rect frame);

  virtual Result<std::string> evaluateJavaScriptSyncImpl(const std::string& script,
                                                         Duration timeout) = 0;
  // Called after the stored settings or user agent changed.
  virtual void applySettings() = 0;
  virtual void applyUserAgent() = 0;

  // Tell the delegate, keeping this view alive meanwhile (a delegate may drop its last
  // reference). Without a delegate a navigation is allowed.
  bool askShouldStartLoad(const NavigationAction& action);
  void tellDidStartLoad();
  void tellDidFinishLoad();
  void tellDidFailLoad(const Error& error);

 private:
  std::weak_ptr<WebViewDelegate> delegate_;
  WebViewSettings settings_;
  std::string customUserAgent_;
  std::shared_ptr<const AppContainer> fileContainer_;
};

}  // namespace platform::web
