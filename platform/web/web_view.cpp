#include "platform/web/web_view.h"

#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"

namespace platform::web {

namespace {

// Whether the navigation stays inside the container: only "file:" URLs can leave it.
bool withinContainer(const AppContainer& container, const std::string& target) {
  Result<URL> url = URL::parse(target);
  if (!url.ok() || !url->isFileURL()) return true;
  std::optional<std::string> path = url->filePath();
  return path && container.canRead(*path);
}

}  // namespace

WebView::WebView(ui::Rect frame) : ui::View(frame) { VKR_ASSERT_MAIN_THREAD(); }

WebView::~WebView() = default;

Result<std::string> WebView::evaluateJavaScriptSync(const std::string& script, Duration timeout) {
  VKR_ASSERT_MAIN_THREAD();
  // The nested main loop may run code that drops the last reference to this view.
  auto keep = weak_from_this().lock();
  return evaluateJavaScriptSyncImpl(script, timeout);
}

void WebView::setSettings(const WebViewSettings& settings) {
  VKR_ASSERT_MAIN_THREAD();
  settings_ = settings;
  applySettings();
}

void WebView::setCustomUserAgent(std::string userAgent) {
  VKR_ASSERT_MAIN_THREAD();
  customUserAgent_ = std::move(userAgent);
  applyUserAgent();
}

bool WebView::askShouldStartLoad(const NavigationAction& action) {
  VKR_ASSERT_MAIN_THREAD();
  auto keep = weak_from_this().lock();
  if (fileContainer_ && !withinContainer(*fileContainer_, action.request.url)) {
    logf("Refused a navigation outside the app's container: %s", action.request.url.c_str());
    return false;
  }
  auto delegate = delegate_.lock();
  return !delegate || delegate->shouldStartLoad(*this, action);
}

void WebView::tellDidStartLoad() {
  auto keep = weak_from_this().lock();
  if (auto delegate = delegate_.lock()) delegate->didStartLoad(*this);
}

void WebView::tellDidFinishLoad() {
  auto keep = weak_from_this().lock();
  if (auto delegate = delegate_.lock()) delegate->didFinishLoad(*this);
}

void WebView::tellDidFailLoad(const Error& error) {
  auto keep = weak_from_this().lock();
  if (auto delegate = delegate_.lock()) delegate->didFailLoad(*this, error);
}

}  // namespace platform::web
