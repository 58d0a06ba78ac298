#include "platform/web/webkit/webkit_view.h"

#include <chrono>
#include <optional>

#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/foundation/while_alive.h"
#include "platform/ui/gtk/cairo_image.h"
#include "platform/web/web_errors.h"
#include "platform/web/webkit/engine_memory.h"
#include "platform/web/webkit/header_list.h"
#include "platform/web/webkit/load_error.h"
#include "platform/web/webkit/script_result.h"

namespace platform::web {

namespace {

using ui::gtk::adoptGObject;
using ui::gtk::GObjectPtr;
using ui::gtk::refGObject;

NavigationType navigationTypeOf(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
      return NavigationType::LinkClicked;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
      return NavigationType::FormSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
      return NavigationType::BackForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
      return NavigationType::Reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
      return NavigationType::FormResubmitted;
    default:
      return NavigationType::Other;
  }
}

URLRequest requestOf(WebKitURIRequest* request) {
  URLRequest result;
  if (const char* uri = webkit_uri_request_get_uri(request)) result.url = uri;
  if (const char* method = webkit_uri_request_get_http_method(request)) result.httpMethod = method;
  result.headers = headerListOf(webkit_uri_request_get_http_headers(request));
  return result;
}

}  // namespace

// A policy decision owned until answered; one dropped unanswered (its view went away) is refused.
class PendingDecision {
 public:
  explicit PendingDecision(WebKitPolicyDecision* decision)
      : decision_(static_cast<WebKitPolicyDecision*>(g_object_ref(decision))) {}
  ~PendingDecision() {
    if (!answered_) webkit_policy_decision_ignore(decision_.get());
  }
  WebKitPolicyDecision* get() const { return decision_.get(); }
  void use() {
    answered_ = true;
    webkit_policy_decision_use(decision_.get());
  }
  void ignore() {
    answered_ = true;
    webkit_policy_decision_ignore(decision_.get());
  }

 private:
  GObjectPtr<WebKitPolicyDecision> decision_;
  bool answered_ = false;
};

WebKitView::WebKitView(ui::Rect frame, WebKitWebContext* context, WebKitWebView* related)
    : WebView(frame),
      webSettings_(adoptGObject(webkit_settings_new())),
      cancellable_(adoptGObject(g_cancellable_new())) {
  // Pages of the app's own folder read its other files, as they do on the phone.
  webkit_settings_set_allow_file_access_from_file_urls(webSettings_.get(), TRUE);
  GtkWidget* widget = related
                          ? GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                                                    "settings", webSettings_.get(), nullptr))
                          : GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                                    "settings", webSettings_.get(), nullptr));
  view_ = refGObject(WEBKIT_WEB_VIEW(widget));
  g_signal_connect(view_.get(), "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(view_.get(), "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view_.get(), "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(view_.get(), "load-failed-with-tls-errors", G_CALLBACK(onTLSError), this);
  g_signal_connect(view_.get(), "resource-load-started", G_CALLBACK(onResourceLoadStarted), this);
  applySettings();
}

WebKitView::~WebKitView() {
  loadTimer_.cancel();
  g_cancellable_cancel(cancellable_.get());
  g_signal_handlers_disconnect_by_data(view_.get(), this);
  events_.clear();  // refuses the decisions still waiting
  // Leaves any container and ends the page, which frees its window-sized backing store.
  gtk_widget_destroy(GTK_WIDGET(view_.get()));
  releaseEngineFreeMemory();
}

// Loading.

void WebKitView::loadRequest(const URLRequest& request) {
  VKR_ASSERT_MAIN_THREAD();
  WebKitURIRequest* engineRequest = webkit_uri_request_new(request.url.c_str());
  if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(engineRequest)) {
    for (const auto& [name, value] : request.headers) {
      soup_message_headers_replace(headers, name.c_str(), value.c_str());
    }
  }
  navigation_.viewStartedLoad();
  webkit_web_view_load_request(view_.get(), engineRequest);
  g_object_unref(engineRequest);
  startLoadTimer(request.timeoutInterval, request.url);
}

void WebKitView::loadHTMLString(const std::string& html, const std::string& baseURL) {
  VKR_ASSERT_MAIN_THREAD();
  navigation_.viewStartedLoad();
  cancelLoadTimer();
  webkit_web_view_load_html(view_.get(), html.c_str(),
                            baseURL.empty() ? "about:blank" : baseURL.c_str());
}

void WebKitView::stopLoading() {
  cancelLoadTimer();
  webkit_web_view_stop_loading(view_.get());
}

void WebKitView::reload() {
  navigation_.viewStartedLoad();
  webkit_web_view_reload(view_.get());
}

void WebKitView::goBack() {
  navigation_.viewStartedLoad();
  webkit_web_view_go_back(view_.get());
}

void WebKitView::goForward() {
  navigation_.viewStartedLoad();
  webkit_web_view_go_forward(view_.get());
}

bool WebKitView::canGoBack() const { return webkit_web_view_can_go_back(view_.get()); }
bool WebKitView::canGoForward() const { return webkit_web_view_can_go_forward(view_.get()); }
bool WebKitView::isLoading() const { return webkit_web_view_is_loading(view_.get()); }

std::string WebKitView::url() const {
  const char* uri = webkit_web_view_get_uri(view_.get());
  return uri ? uri : "";
}

std::string WebKitView::title() const {
  const char* title = webkit_web_view_get_title(view_.get());
  return title ? title : "";
}

void WebKitView::cancelLoadTimer() {
  loadTimer_.cancel();
  ++loadGeneration_;  // a time-out already on its way is dropped
}

void WebKitView::startLoadTimer(double timeoutSeconds, const std::string& url) {
  cancelLoadTimer();
  const uint64_t generation = loadGeneration_;
  if (timeoutSeconds <= 0) return;
  loadTimer_ = dispatchAfter(seconds(timeoutSeconds), mainQueue(),
                             whileAlive(weak_from_this(), [generation, url](View& self) {
                               static_cast<WebKitView&>(self).loadTimedOut(generation, url);
                             }));
}

void WebKitView::loadTimedOut(uint64_t generation, const std::string& url) {
  if (generation != loadGeneration_) return;
  ++loadGeneration_;
  post([this, url] {
    navigation_.loadAbandoned();
    webkit_web_view_stop_loading(view_.get());
    tellDidFailLoad(loadError(kURLErrorDomain, kURLErrorTimedOut, "The request timed out.", url));
  });
}

// Engine events.

void WebKitView::post(std::function<void()> event) {
  events_.push_back(std::move(event));
  if (dispatching_) return;
  auto keep = weak_from_this().lock();
  dispatching_ = true;
  while (!events_.empty()) {
    std::function<void()> next = std::move(events_.front());
    events_.pop_front();
    next();
  }
  dispatching_ = false;
}

gboolean WebKitView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    // A response the engine cannot show would become a download: refuse it instead.
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (webkit_response_policy_decision_is_mime_type_supported(response)) return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  auto pending = std::make_shared<PendingDecision>(decision);
  self->post([self, pending, type] { self->decideNavigation(*pending, type); });
  return TRUE;
}

void WebKitView::decideNavigation(PendingDecision& decision, WebKitPolicyDecisionType type) {
  WebKitNavigationAction* navigation = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision.get()));
  WebKitURIRequest* engineRequest = webkit_navigation_action_get_request(navigation);
  NavigationTracker::Request request;
  URLRequest asked = requestOf(engineRequest);
  request.target = asked.url;
  request.current = url();
  request.type = navigationTypeOf(webkit_navigation_action_get_navigation_type(navigation));
  request.newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
  request.redirect = webkit_navigation_action_is_redirect(navigation);
  NavigationTracker::Proposal proposal = navigation_.propose(request);
  if (proposal.preapproved) {
    decision.use();
    return;
  }
  NavigationAction action = proposal.action;
  asked.mainDocumentURL = action.request.mainDocumentURL;
  action.request = std::move(asked);
  navigation_.beginDecision(proposal);
  const bool allowed = askShouldStartLoad(action);
  switch (navigation_.decided(proposal, allowed)) {
    case NavigationTracker::Verdict::Refuse:
      decision.ignore();
      // The engine says nothing more of a refused load: its time limit must not report it later.
      if (proposal.startedByView) cancelLoadTimer();
      return;
    case NavigationTracker::Verdict::LoadHere:
      decision.ignore();
      webkit_web_view_load_request(view_.get(), engineRequest);
      return;
    case NavigationTracker::Verdict::Allow:
      decision.use();
      return;
  }
}

void WebKitView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      self->post([self] { self->loadStarted(); });
      break;
    case WEBKIT_LOAD_COMMITTED:
      // The page's own document has arrived: the request's time-out is over, whatever its
      // images, scripts or frames take.
      self->post([self] {
        self->cancelLoadTimer();
        self->navigation_.committed();
      });
      break;
    case WEBKIT_LOAD_FINISHED:
      self->post([self] { self->loadFinished(); });
      break;
    default:
      break;
  }
}

gboolean WebKitView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                  gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  Error failure = loadError(error, uri ? uri : "");
  self->post([self, failure] { self->loadFailed(failure); });
  return TRUE;  // no engine error page: the delegate decides what to show
}

gboolean WebKitView::onTLSError(WebKitWebView*, gchar* uri, GTlsCertificate*, GTlsCertificateFlags,
                                gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  Error failure = loadError(kURLErrorDomain, kURLErrorServerCertificateUntrusted,
                            "The certificate for this server is invalid.", uri ? uri : "");
  self->post([self, failure] { self->loadFailed(failure); });
  return TRUE;
}

void WebKitView::onResourceLoadStarted(WebKitWebView* view, WebKitWebResource* resource,
                                       WebKitURIRequest* request, gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  if (!self->navigation_.awaitingMainResource() ||
      resource != webkit_web_view_get_main_resource(view)) {
    return;
  }
  const char* uri = webkit_uri_request_get_uri(request);
  self->post([self, target = std::string(uri ? uri : "")] { self->mainResourceStarted(target); });
}

void WebKitView::loadStarted() {
  if (navigation_.loadStarted(url())) tellDidStartLoad();
}

void WebKitView::mainResourceStarted(const std::string& target) {
  std::optional<NavigationAction> action = navigation_.mainResourceStarted(target);
  if (!action) return;
  if (askShouldStartLoad(*action)) {
    tellDidStartLoad();
    return;
  }
  navigation_.refusedAtMainResource();
  cancelLoadTimer();
  webkit_web_view_stop_loading(view_.get());
}

void WebKitView::loadFinished() {
  cancelLoadTimer();
  if (!navigation_.loadFinished()) return;
  zoomToFitIfAsked();
  tellDidFinishLoad();
}

void WebKitView::loadFailed(const Error& error) {
  cancelLoadTimer();
  if (navigation_.loadFailed()) tellDidFailLoad(error);
}

// Scripts.

void WebKitView::evaluateJavaScript(const std::string& script, ScriptCompletion completion) {
  VKR_ASSERT_MAIN_THREAD();
  auto* call = new ScriptCompletion(std::move(completion));
  webkit_web_view_evaluate_javascript(
      view_.get(), script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
      cancellable_.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ScriptCompletion> completion(static_cast<ScriptCompletion*>(data));
        GError* error = nullptr;
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        Result<std::string> answer = scriptResult(value, error);
        if (value) g_object_unref(value);
        if (error) g_error_free(error);
        if (*completion) (*completion)(std::move(answer));
      },
      call);
}

Result<std::string> WebKitView::evaluateJavaScriptSyncImpl(const std::string& script,
                                                           Duration timeout) {
  if (navigation_.awaitingSamePageDecision()) {
    return Error::withDescription(kWebViewErrorDomain, kWebViewErrorScriptTimedOut,
                                  "The page waits for a navigation decision and runs no script");
  }
  // Shared with the completion, which may come after this wait gave up.
  auto answer = std::make_shared<std::optional<Result<std::string>>>();
  evaluateJavaScript(script, [answer](Result<std::string> result) { *answer = std::move(result); });

  if (!runMainLoopUntil([&answer] { return answer->has_value(); }, timeout)) {
    return Error::withDescription(kWebViewErrorDomain, kWebViewErrorScriptTimedOut,
                                  "The page did not answer the script in time");
  }
  return std::move(**answer);
}

// Settings.

void WebKitView::applySettings() {
  const WebViewSettings& s = settings();
  webkit_settings_set_media_playback_requires_user_gesture(webSettings_.get(),
                                                           s.mediaPlaybackRequiresUserAction);
  webkit_settings_set_media_playback_allows_inline(webSettings_.get(), s.allowsInlineMediaPlayback);
  if (!s.scalesPageToFit) webkit_web_view_set_zoom_level(view_.get(), 1.0);
}

void WebKitView::applyUserAgent() {
  webkit_settings_set_user_agent(webSettings_.get(),
                                 customUserAgent().empty() ? nullptr : customUserAgent().c_str());
}

std::string WebKitView::userAgent() const {
  const char* agent = webkit_settings_get_user_agent(webSettings_.get());
  return agent ? agent : "";
}

void WebKitView::zoomToFitIfAsked() {
  if (!settings().scalesPageToFit) return;
  webkit_web_view_set_zoom_level(view_.get(), 1.0);
  evaluateJavaScript("document.documentElement.scrollWidth",
                     whileAlive(weak_from_this(), [](View& view, Result<std::string> width) {
                       auto& self = static_cast<WebKitView&>(view);
                       if (!width.ok()) return;
                       const double content = std::atof(width.value().c_str());
                       const double available = self.frame().width();
                       if (content > available && available > 0) {
                         webkit_web_view_set_zoom_level(self.view_.get(), available / content);
                       }
                     }));
}

// Snapshots.

void WebKitView::snapshot(SnapshotCompletion completion) {
  VKR_ASSERT_MAIN_THREAD();
  auto* call = new SnapshotCompletion(std::move(completion));
  webkit_web_view_get_snapshot(
      view_.get(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, cancellable_.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<SnapshotCompletion> completion(static_cast<SnapshotCompletion*>(data));
        GError* error = nullptr;
        cairo_surface_t* surface =
            webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
        Result<ui::Image> image =
            surface ? Result<ui::Image>(ui::gtk::imageFromSurface(surface))
                    : Result<ui::Image>(Error::withDescription(
                          kWebViewErrorDomain, kWebViewErrorWebViewInvalidated,
                          error && error->message ? error->message : "No snapshot"));
        if (surface) cairo_surface_destroy(surface);
        if (error) g_error_free(error);
        if (*completion) (*completion)(std::move(image));
      },
      call);
}

}  // namespace platform::web
