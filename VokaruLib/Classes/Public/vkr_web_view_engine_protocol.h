#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/class_registry.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/ui/geometry.h"
#include "platform/web/url_request.h"
#include "platform/web/web_view.h"

// What updateWithInfo() may change: the web view's delegate, and preferences (lower-cased keys).
struct VKRWebViewEngineInfo {
  std::shared_ptr<platform::web::WebViewDelegate> uiWebViewDelegate;
  std::optional<platform::Dictionary> webViewPreferences;
};

// The engine that hosts the page's web view for the host controller. Main thread only.
class VKRWebViewEngineProtocol {
 public:
  using EvaluationCompletion = std::function<void(const platform::Value& result,
                                                  const std::optional<platform::Error>& error)>;

  virtual ~VKRWebViewEngineProtocol() = default;

  virtual void loadRequest(const platform::web::URLRequest& request) = 0;
  virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
  // Runs the script in the page; the completion (when given) gets its result or an error.
  virtual void evaluateJavaScript(const std::string& script, EvaluationCompletion completion) = 0;
  // The URL of the current page.
  virtual std::string url() = 0;
  virtual bool canLoadRequest(const platform::web::URLRequest& request) = 0;
  virtual void updateWithInfo(const VKRWebViewEngineInfo& info) = 0;
  virtual std::shared_ptr<platform::web::WebView> engineWebView() = 0;
};

// Engine classes by name, made with the frame of their web view: the value of the
// "VokaruWebViewEngine" preference.
using VKRWebViewEngineRegistry =
    platform::ClassRegistry<VKRWebViewEngineProtocol, platform::ui::Rect>;

// Registers an engine class under its own name. The class needs a constructor taking the frame.
#define VKR_REGISTER_WEB_VIEW_ENGINE(EngineClass) \
  PLATFORM_REGISTER_CLASS(VKRWebViewEngineProtocol, EngineClass, platform::ui::Rect)
