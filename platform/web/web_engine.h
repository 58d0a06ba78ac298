#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"
#include "platform/ui/geometry.h"
#include "platform/web/url_scheme.h"
#include "platform/web/web_view.h"

namespace platform::web {

struct WebViewOptions {
  ui::Rect frame;
  // When set, the new view shares this view's page process: much cheaper to start, but a page
  // that hangs one hangs both.
  std::shared_ptr<WebView> relatedView = nullptr;
};

// A cookie of the engine's web views, as much of it as deciding to delete it needs.
struct WebCookie {
  std::string name;
  // With a leading "." when set with a Domain attribute; else the host that set it.
  std::string domain;
  std::string path;
  // Ends with the session (it has no expiry date).
  bool isSessionOnly = false;
};

// The web engine: makes web views and holds what they share (scheme handlers, storage). One engine
// is installed per process: WebKit in the shell, a fake in unit tests. Main thread only.
class WebEngine {
 public:
  virtual ~WebEngine() = default;

  virtual std::shared_ptr<WebView> createWebView(const WebViewOptions& options) = 0;
  // The user agent of a web view that sets none.
  virtual std::string defaultUserAgent() = 0;
  // Serves every request of the scheme in this engine's web views with the handler (replacing
  // an earlier one). Refuses, with an error, a scheme that is not a valid scheme name or that the
  // engine serves itself (http, https, file, data, about, blob, ...). Schemes are case-insensitive.
  Status registerURLScheme(const std::string& scheme, URLSchemeHandler handler);
  // Deletes the cookies the engine's web views keep for which `matching` answers true, then runs
  // the completion on a later turn of the main loop (also when nothing matched or the store could
  // not be read).
  virtual void deleteCookies(std::function<bool(const WebCookie& cookie)> matching,
                             std::function<void()> completion) = 0;

 protected:
  // Called with a validated, lower-cased scheme.
  virtual Status registerURLSchemeImpl(const std::string& scheme, URLSchemeHandler handler) = 0;
};

// The installed engine (null until one is installed), and installing one (answers the previous).
std::shared_ptr<WebEngine> webEngine();
std::shared_ptr<WebEngine> setWebEngine(std::shared_ptr<WebEngine> engine);

}  // namespace platform::web
