#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/timer.h"
#include "platform/ui/gtk/gobject_ptr.h"
#include "platform/ui/gtk/native_widget.h"
#include "platform/web/navigation_tracker.h"
#include "platform/web/web_view.h"

namespace platform::web {

class PendingDecision;

// A WebView on a WebKitWebView widget. The engine asks about navigations without telling frames
// apart: the view reports what it observes to a NavigationTracker, which tells top-level from
// frame navigations and which load events to pass on, and does what it answers.
class WebKitView final : public WebView, public ui::gtk::NativeWidget {
 public:
  // `related`, when given, shares its page process.
  WebKitView(ui::Rect frame, WebKitWebContext* context, WebKitWebView* related);
  ~WebKitView() override;

  GtkWidget* nativeWidget() const override { return GTK_WIDGET(view_.get()); }
  WebKitWebView* webKitView() const { return view_.get(); }

  void loadRequest(const URLRequest& request) override;
  void loadHTMLString(const std::string& html, const std::string& baseURL) override;
  void stopLoading() override;
  void reload() override;
  void goBack() override;
  void goForward() override;
  bool canGoBack() const override;
  bool canGoForward() const override;
  bool isLoading() const override;
  std::string url() const override;
  std::string title() const override;
  void evaluateJavaScript(const std::string& script, ScriptCompletion completion) override;
  std::string userAgent() const override;
  void snapshot(SnapshotCompletion completion) override;

 protected:
  Result<std::string> evaluateJavaScriptSyncImpl(const std::string& script,
                                                 Duration timeout) override;
  void applySettings() override;
  void applyUserAgent() override;

 private:
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                               gpointer self);
  static void onResourceLoadStarted(WebKitWebView*, WebKitWebResource* resource,
                                    WebKitURIRequest* request, gpointer self);
  static gboolean onTLSError(WebKitWebView*, gchar* uri, GTlsCertificate*, GTlsCertificateFlags,
                             gpointer self);

  // Engine events reach the delegate one at a time, in order: an event that arrives while the
  // delegate handles another (a delegate may run the main loop) waits for it to return.
  void post(std::function<void()> event);
  void decideNavigation(PendingDecision& decision, WebKitPolicyDecisionType type);
  void loadStarted();
  void mainResourceStarted(const std::string& target);
  void loadFinished();
  void loadFailed(const Error& error);
  void startLoadTimer(double timeoutSeconds, const std::string& url);
  void cancelLoadTimer();
  void loadTimedOut(uint64_t generation, const std::string& url);
  void zoomToFitIfAsked();

  ui::gtk::GObjectPtr<WebKitWebView> view_;
  ui::gtk::GObjectPtr<WebKitSettings> webSettings_;
  ui::gtk::GObjectPtr<GCancellable> cancellable_;

  std::deque<std::function<void()>> events_;
  bool dispatching_ = false;

  NavigationTracker navigation_;

  Timer loadTimer_;
  uint64_t loadGeneration_ = 0;
};

}  // namespace platform::web
