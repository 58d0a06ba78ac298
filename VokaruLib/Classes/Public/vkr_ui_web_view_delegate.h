#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/web/web_view.h"

inline constexpr const char* kVKRUIWebViewDelegateErrorDomain = "VKRUIWebViewDelegate";

// Sits between a web view and its real delegate and turns the web view's stream of navigation
// questions and load events (frames, redirects, fragment jumps, cancelled loads) into one start
// and one finish or failure per top-level page load. Main thread only.
class VKRUIWebViewDelegate : public platform::web::WebViewDelegate {
 public:
  enum State : int64_t {
    kStateIdle = 0,
    kStateWaitingForLoadStart = 1,
    kStateWaitingForLoadFinish = 2,
    kStateCancelled = 5,
  };

  // The real delegate is held weakly; callbacks for one that is gone are dropped.
  explicit VKRUIWebViewDelegate(std::weak_ptr<platform::web::WebViewDelegate> delegate);

  bool shouldStartLoad(platform::web::WebView& webView,
                       const platform::web::NavigationAction& action) override;
  void didStartLoad(platform::web::WebView& webView) override;
  void didFinishLoad(platform::web::WebView& webView) override;
  void didFailLoad(platform::web::WebView& webView, const platform::Error& error) override;

  // Whether a frame may load the request: always for "mailto", "tel", "blob", "sms" and "data";
  // otherwise when URL loading handles its scheme.
  static bool shouldLoadRequest(const platform::web::URLRequest& request);
  // Both URLs present and equal up to their first "#".
  static bool isEqualToRequestAfterStrippingFragments(const std::string& url,
                                                      const std::string& other);
  // The page's "location.href".
  static std::string evalForCurrentURL(platform::web::WebView& webView);

  int64_t loadCount() const { return loadCount_; }
  State state() const { return state_; }

 private:
  std::weak_ptr<platform::web::WebViewDelegate> delegate_;
  int64_t loadCount_ = -1;
  State state_ = kStateIdle;
};
