#include "platform/web/testing/fake_web_view.h"

#include "platform/dispatch/queue.h"

namespace platform::web::testing {

FakeWebView::FakeWebView(ui::Rect frame, std::string defaultUserAgent)
    : WebView(frame), defaultUserAgent_(std::move(defaultUserAgent)) {}

void FakeWebView::loadRequest(const URLRequest& request) {
  Load load;
  load.request = request;
  load.userAgent = customUserAgent();
  loads_.push_back(std::move(load));
}

void FakeWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
  Load load;
  load.kind = Load::Kind::HTML;
  load.html = html;
  load.baseURL = baseURL;
  load.userAgent = customUserAgent();
  loads_.push_back(std::move(load));
}

std::string FakeWebView::userAgent() const {
  return customUserAgent().empty() ? defaultUserAgent_ : customUserAgent();
}

void FakeWebView::setScriptResult(const std::string& script, Result<std::string> result) {
  scriptResults_.insert_or_assign(script, std::move(result));
}

Result<std::string> FakeWebView::answer(const std::string& script) {
  scripts_.push_back(script);
  auto it = scriptResults_.find(script);
  return it == scriptResults_.end() ? Result<std::string>(std::string()) : it->second;
}

void FakeWebView::evaluateJavaScript(const std::string& script, ScriptCompletion completion) {
  Result<std::string> result = answer(script);
  if (!completion) return;
  mainQueue()->async(
      [completion = std::move(completion), result = std::move(result)] { completion(result); });
}

Result<std::string> FakeWebView::evaluateJavaScriptSyncImpl(const std::string& script,
                                                            Duration /*timeout*/) {
  return answer(script);
}

void FakeWebView::snapshot(SnapshotCompletion completion) {
  if (!completion) return;
  ui::Image image;
  image.width = static_cast<int>(frame().width());
  image.height = static_cast<int>(frame().height());
  const ui::Color c = backgroundColor();
  const uint8_t rgba[4] = {
      static_cast<uint8_t>(c.red * 255 + 0.5), static_cast<uint8_t>(c.green * 255 + 0.5),
      static_cast<uint8_t>(c.blue * 255 + 0.5), static_cast<uint8_t>(c.alpha * 255 + 0.5)};
  for (int i = 0; i < image.width * image.height; ++i)
    image.rgba.insert(image.rgba.end(), rgba, rgba + 4);
  mainQueue()->async(
      [completion = std::move(completion), image = std::move(image)] { completion(image); });
}

bool FakeWebView::simulateShouldStart(const NavigationAction& action) {
  return askShouldStartLoad(action);
}

bool FakeWebView::simulateShouldStart(const std::string& url, NavigationType type) {
  NavigationAction action;
  action.request.url = url;
  action.request.mainDocumentURL = url;
  action.type = type;
  return simulateShouldStart(action);
}

void FakeWebView::simulateDidStart() {
  loading_ = true;
  tellDidStartLoad();
}

void FakeWebView::simulateDidFinish() {
  loading_ = false;
  tellDidFinishLoad();
}

void FakeWebView::simulateDidFail(const Error& error) {
  loading_ = false;
  tellDidFailLoad(error);
}

bool FakeWebView::simulatePageLoad(const std::string& url, NavigationType type) {
  if (!simulateShouldStart(url, type)) return false;
  url_ = url;
  simulateDidStart();
  simulateDidFinish();
  return true;
}

std::shared_ptr<WebView> FakeWebEngine::createWebView(const WebViewOptions& options) {
  auto view = std::make_shared<FakeWebView>(options.frame);
  views_.push_back(view);
  options_.push_back(options);
  return view;
}

void FakeWebEngine::deleteCookies(std::function<bool(const WebCookie& cookie)> matching,
                                  std::function<void()> completion) {
  std::erase_if(cookies_, matching);
  if (completion) mainQueue()->async(std::move(completion));
}

URLSchemeHandler FakeWebEngine::schemeHandler(const std::string& scheme) const {
  auto it = handlers_.find(scheme);
  return it == handlers_.end() ? nullptr : it->second;
}

Status FakeWebEngine::registerURLSchemeImpl(const std::string& scheme, URLSchemeHandler handler) {
  handlers_.insert_or_assign(scheme, std::move(handler));
  return okStatus();
}

ScopedFakeWebEngine::ScopedFakeWebEngine()
    : engine_(std::make_shared<FakeWebEngine>()), previous_(setWebEngine(engine_)) {}

ScopedFakeWebEngine::~ScopedFakeWebEngine() { setWebEngine(previous_); }

}  // namespace platform::web::testing
