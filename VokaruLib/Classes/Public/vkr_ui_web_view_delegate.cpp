#include "VokaruLib/Classes/Public/vkr_ui_web_view_delegate.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/web/web_errors.h"

using platform::web::NavigationAction;
using platform::web::WebView;

namespace {

constexpr std::array<std::string_view, 5> kAlwaysLoadedSchemes = {"mailto", "tel", "blob", "sms",
                                                                  "data"};
// The schemes URL loading handles: the web's own and the file plugin's.
constexpr std::array<std::string_view, 6> kLoadableSchemes = {"http", "https", "file",
                                                              "ftp",  "about", "vkrfile"};

template <size_t N>
bool contains(const std::array<std::string_view, N>& schemes, const std::string& scheme) {
  return std::find(schemes.begin(), schemes.end(), scheme) != schemes.end();
}

std::string_view withoutFragment(std::string_view url) { return url.substr(0, url.find('#')); }

}  // namespace

VKRUIWebViewDelegate::VKRUIWebViewDelegate(std::weak_ptr<platform::web::WebViewDelegate> delegate)
    : delegate_(std::move(delegate)) {}

bool VKRUIWebViewDelegate::shouldLoadRequest(const platform::web::URLRequest& request) {
  platform::Result<platform::URL> url = platform::URL::parse(request.url);
  if (!url.ok()) return false;
  const std::string scheme = url->scheme();
  return contains(kAlwaysLoadedSchemes, scheme) || contains(kLoadableSchemes, scheme);
}

bool VKRUIWebViewDelegate::isEqualToRequestAfterStrippingFragments(const std::string& url,
                                                                   const std::string& other) {
  if (url.empty() || other.empty()) return false;
  return withoutFragment(url) == withoutFragment(other);
}

std::string VKRUIWebViewDelegate::evalForCurrentURL(WebView& webView) {
  return webView.evaluateJavaScriptSync("location.href").valueOr(std::string());
}

bool VKRUIWebViewDelegate::shouldStartLoad(WebView& webView, const NavigationAction& action) {
  VKR_ASSERT_MAIN_THREAD();
  std::shared_ptr<platform::web::WebViewDelegate> delegate = delegate_.lock();
  if (delegate && !delegate->shouldStartLoad(webView, action)) return false;

  if (!action.mainFrame) return shouldLoadRequest(action.request);

  if (isEqualToRequestAfterStrippingFragments(action.request.url, webView.url())) {
    // A jump within the page: the document shown is the request's, at another fragment. (An
    // engine may give a load that has only begun as the view's URL, while the previous document
    // still shows.)
    const std::string href = evalForCurrentURL(webView);
    if (href != action.request.url &&
        isEqualToRequestAfterStrippingFragments(href, action.request.url)) {
      return true;
    }
  }

  switch (state_) {
    case kStateIdle:
    case kStateCancelled:
      loadCount_ = 0;
      state_ = kStateWaitingForLoadStart;
      break;
    case kStateWaitingForLoadFinish:
      if (loadCount_ != 1) {
        platform::logf("VKRWebViewDelegate: Detected redirect when loadCount=%ld",
                       static_cast<long>(loadCount_));
      }
      break;
    case kStateWaitingForLoadStart: {
      const std::string description = platform::format(
          "VKRWebViewDelegate: Navigation started when state=%ld", static_cast<long>(state_));
      platform::log(description);
      loadCount_ = 0;
      state_ = kStateWaitingForLoadStart;
      if (delegate) {
        delegate->didFailLoad(webView, platform::Error::withDescription(
                                           kVKRUIWebViewDelegateErrorDomain, 1, description));
      }
      break;
    }
  }
  return true;
}

void VKRUIWebViewDelegate::didStartLoad(WebView& webView) {
  VKR_ASSERT_MAIN_THREAD();
  bool passOn = false;
  switch (state_) {
    case kStateIdle:
      break;
    case kStateWaitingForLoadStart:
      if (loadCount_ != 0) {
        platform::logf("VKRWebViewDelegate: Unexpected loadCount in didStart. count=%ld",
                       static_cast<long>(loadCount_));
      }
      state_ = kStateWaitingForLoadFinish;
      loadCount_ = 1;
      passOn = true;
      break;
    case kStateWaitingForLoadFinish:
      ++loadCount_;
      break;
    case kStateCancelled:
      state_ = kStateWaitingForLoadFinish;
      ++loadCount_;
      passOn = true;
      break;
  }
  if (!passOn) return;
  if (auto delegate = delegate_.lock()) delegate->didStartLoad(webView);
}

void VKRUIWebViewDelegate::didFinishLoad(WebView& webView) {
  VKR_ASSERT_MAIN_THREAD();
  bool passOn = false;
  switch (state_) {
    case kStateWaitingForLoadStart:
      platform::log("VKRWebViewDelegate: Unexpected didFinish while waiting for load start.");
      break;
    case kStateWaitingForLoadFinish:
      if (loadCount_ == 1) {
        state_ = kStateIdle;
        loadCount_ = 0;
        passOn = true;
      } else {
        --loadCount_;
      }
      break;
    case kStateIdle:
    case kStateCancelled:
      break;
  }
  if (!passOn) return;
  if (auto delegate = delegate_.lock()) delegate->didFinishLoad(webView);
}

void VKRUIWebViewDelegate::didFailLoad(WebView& webView, const platform::Error& error) {
  VKR_ASSERT_MAIN_THREAD();
  const bool cancelled = error.code() == platform::kURLErrorCancelled;
  bool passOn = false;
  switch (state_) {
    case kStateWaitingForLoadStart:
      state_ = cancelled ? kStateCancelled : kStateIdle;
      passOn = true;
      break;
    case kStateWaitingForLoadFinish:
      if (cancelled) {
        state_ = kStateCancelled;
        --loadCount_;
        passOn = true;
      } else if (loadCount_ == 1) {
        state_ = kStateIdle;
        loadCount_ = -1;
        passOn = true;
      } else {
        loadCount_ = -1;
      }
      break;
    case kStateIdle:
    case kStateCancelled:
      break;
  }
  if (!passOn) return;
  if (auto delegate = delegate_.lock()) delegate->didFailLoad(webView, error);
}
