#include "platform/web/web_view.h"

#include "platform/dispatch/main_thread_check.h"

namespace platform::web {

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
