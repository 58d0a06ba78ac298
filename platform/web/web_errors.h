#pragma once

#include <cstdint>

#include "platform/foundation/url_error.h"

namespace platform::web {

// Failures of the web view itself: a load interrupted by a policy decision, and script evaluation.
inline constexpr const char* kWebViewErrorDomain = "VokaruWebViewErrorDomain";
enum WebViewErrorCode : int64_t {
  // A load interrupted by a refused response or a changed policy.
  kWebViewErrorFrameLoadInterrupted = 102,
  // The script threw; the user info's description carries the exception's message.
  kWebViewErrorScriptException = 201,
  // The script's value cannot be turned into text (a function, a symbol, a DOM node, ...).
  kWebViewErrorUnsupportedResult = 202,
  // A synchronous evaluation got no answer within its time limit.
  kWebViewErrorScriptTimedOut = 203,
  // The web view was destroyed (or its page process ended) before the answer came.
  kWebViewErrorWebViewInvalidated = 204,
};

}  // namespace platform::web
