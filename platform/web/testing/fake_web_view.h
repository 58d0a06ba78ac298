#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/web/web_engine.h"
#include "platform/web/web_view.h"

namespace platform::web::testing {

// A web view without an engine, for unit tests of the code that drives web views: it records
// what it is asked to do, answers scripts from a table, and lets the test play the engine's part
// by driving the delegate.
class FakeWebView final : public WebView {
 public:
  struct Load {
    enum class Kind { Request, HTML };
    Kind kind = Kind::Request;
    URLRequest request;   // Kind::Request
    std::string html;     // Kind::HTML
    std::string baseURL;  // Kind::HTML
    // The custom user agent in effect when the load was asked for.
    std::string userAgent;
  };

  explicit FakeWebView(ui::Rect frame = {}, std::string defaultUserAgent = kDefaultUserAgent);

  static constexpr const char* kDefaultUserAgent = "Mozilla/5.0 (X11; Linux x86_64) FakeWebView";

  // WebView.
  void loadRequest(const URLRequest& request) override;
  void loadHTMLString(const std::string& html, const std::string& baseURL) override;
  void stopLoading() override { ++stopCount_; }
  void reload() override { ++reloadCount_; }
  void goBack() override { ++backCount_; }
  void goForward() override { ++forwardCount_; }
  bool canGoBack() const override { return canGoBack_; }
  bool canGoForward() const override { return canGoForward_; }
  bool isLoading() const override { return loading_; }
  std::string url() const override { return url_; }
  std::string title() const override { return title_; }
  // Answers on a later turn of the main queue.
  void evaluateJavaScript(const std::string& script, ScriptCompletion completion) override;
  std::string userAgent() const override;
  // A blank image of the view's size, filled with its background colour, on a later turn.
  void snapshot(SnapshotCompletion completion) override;

  // What was asked.
  const std::vector<Load>& loads() const { return loads_; }
  // Every evaluated script, synchronous and asynchronous, in order.
  const std::vector<std::string>& scripts() const { return scripts_; }
  int stopCount() const { return stopCount_; }
  int reloadCount() const { return reloadCount_; }
  int backCount() const { return backCount_; }
  int forwardCount() const { return forwardCount_; }

  // Script answers: the result for a script text (exactly as evaluated); scripts without an
  // entry answer "".
  void setScriptResult(const std::string& script, Result<std::string> result);

  // Page state as the engine would report it.
  void setURL(std::string url) { url_ = std::move(url); }
  void setTitle(std::string title) { title_ = std::move(title); }
  void setCanGoBack(bool value) { canGoBack_ = value; }
  void setCanGoForward(bool value) { canGoForward_ = value; }
  void setLoading(bool value) { loading_ = value; }

  // Playing the engine: each calls the delegate at once (as the engine's events would) and
  // answers what the delegate answered, if anything.
  bool simulateShouldStart(const NavigationAction& action);
  // A top-level navigation of the given type to the URL (main-document URL the same).
  bool simulateShouldStart(const std::string& url, NavigationType type = NavigationType::Other);
  void simulateDidStart();
  void simulateDidFinish();
  void simulateDidFail(const Error& error);
  // A whole top-level page load: should-start; when allowed, the URL becomes current and start
  // and finish follow. Answers whether it was allowed.
  bool simulatePageLoad(const std::string& url, NavigationType type = NavigationType::Other);

 protected:
  Result<std::string> evaluateJavaScriptSyncImpl(const std::string& script,
                                                 Duration timeout) override;
  void applySettings() override {}
  void applyUserAgent() override {}

 private:
  Result<std::string> answer(const std::string& script);

  std::string defaultUserAgent_;
  std::vector<Load> loads_;
  std::vector<std::string> scripts_;
  std::map<std::string, Result<std::string>> scriptResults_;
  std::string url_;
  std::string title_;
  bool canGoBack_ = false;
  bool canGoForward_ = false;
  bool loading_ = false;
  int stopCount_ = 0;
  int reloadCount_ = 0;
  int backCount_ = 0;
  int forwardCount_ = 0;
};

// An engine that makes FakeWebViews and keeps the scheme handlers it is given.
class FakeWebEngine final : public WebEngine {
 public:
  std::shared_ptr<WebView> createWebView(const WebViewOptions& options) override;
  std::string defaultUserAgent() override { return FakeWebView::kDefaultUserAgent; }
  // Deletes from cookies(), completing on a later turn of the main queue.
  void deleteCookies(std::function<bool(const WebCookie& cookie)> matching,
                     std::function<void()> completion) override;

  // Every view made so far, oldest first, and the options each was made with.
  const std::vector<std::shared_ptr<FakeWebView>>& createdViews() const { return views_; }
  const std::vector<WebViewOptions>& creationOptions() const { return options_; }
  // The cookies the engine's web views keep, as the test sets them.
  std::vector<WebCookie>& cookies() { return cookies_; }
  // The handler registered for the (lower-case) scheme, or null.
  URLSchemeHandler schemeHandler(const std::string& scheme) const;

 protected:
  Status registerURLSchemeImpl(const std::string& scheme, URLSchemeHandler handler) override;

 private:
  std::vector<std::shared_ptr<FakeWebView>> views_;
  std::vector<WebViewOptions> options_;
  std::vector<WebCookie> cookies_;
  std::map<std::string, URLSchemeHandler> handlers_;
};

// Installs a FakeWebEngine as the process's web engine for its lifetime (restoring the previous
// one after).
class ScopedFakeWebEngine {
 public:
  ScopedFakeWebEngine();
  ~ScopedFakeWebEngine();
  ScopedFakeWebEngine(const ScopedFakeWebEngine&) = delete;
  ScopedFakeWebEngine& operator=(const ScopedFakeWebEngine&) = delete;

  FakeWebEngine& engine() { return *engine_; }

 private:
  std::shared_ptr<FakeWebEngine> engine_;
  std::shared_ptr<WebEngine> previous_;
};

}  // namespace platform::web::testing
