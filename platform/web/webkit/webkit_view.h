#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/dispatch/timer.h"
#include "platform/ui/gtk/gobject_ptr.h"
#include "platform/ui/gtk/native_widget.h"
#include "platform/web/web_view.h"

namespace platform::web {

class PendingDecision;

// A WebView on a WebKitWebView widget. The engine asks about navigations without telling frames
// apart, so a navigation counts as top-level when this view started it (a load, reload or history
// step) or once the engine starts loading it in the main frame. A page's own top-level navigation
// is therefore asked about twice: first as a frame's, then, as its main resource starts, as
// top-level; refusing it then stops it before anything of it shows.
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
  void startedByThisView();
  void startLoadTimer(double timeoutSeconds, const std::string& url);
  void cancelLoadTimer();
  void loadTimedOut(uint64_t generation, const std::string& url);
  void zoomToFitIfAsked();

  ui::gtk::GObjectPtr<WebKitWebView> view_;
  ui::gtk::GObjectPtr<WebKitSettings> webSettings_;
  ui::gtk::GObjectPtr<GCancellable> cancellable_;

  std::deque<std::function<void()>> events_;
  bool dispatching_ = false;

  // Top-level classification (see the class comment).
  bool startedByView_ = false;      // a load/reload/history step awaits its decision
  std::string allowedTopLevelURL_;  // allowed as top-level, awaiting its start
  std::string preapprovedURL_;      // a new-window navigation allowed and loaded here
  std::map<std::string, NavigationType> frameNavigationTypes_;  // recent frame navigations
  bool provisional_ = false;  // a top-level load started and has not committed
  // A load the page started in the main frame: the engine shows its URL only with its main
  // resource, so the top-level question (and the start) wait for that.
  bool awaitingMainResource_ = false;

  // The current top-level load's outcome was reported (or it was refused at its start): the
  // engine's own failure and finish for it are not passed on.
  bool swallowLoadEnd_ = false;
  // Decisions about in-page navigations block the page until answered: scripts cannot run then.
  int samePageDecisions_ = 0;

  Timer loadTimer_;
  uint64_t loadGeneration_ = 0;
};

}  // namespace platform::web
