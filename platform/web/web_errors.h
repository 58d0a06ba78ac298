#pragma once

#include <cstdint>

namespace platform::web {

// Load failures are reported in the URL-loading domain with its codes, so callers test the same
// numbers whatever the engine (a cancelled load is always -999).
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
enum URLErrorCode : int64_t {
  kURLErrorUnknown = -1,
  kURLErrorCancelled = -999,
  kURLErrorBadURL = -1000,
  kURLErrorTimedOut = -1001,
  kURLErrorUnsupportedURL = -1002,
  kURLErrorCannotFindHost = -1003,
  kURLErrorCannotConnectToHost = -1004,
  kURLErrorNetworkConnectionLost = -1005,
  kURLErrorBadServerResponse = -1011,
  kURLErrorNotConnectedToInternet = -1009,
  kURLErrorSecureConnectionFailed = -1200,
  kURLErrorServerCertificateUntrusted = -1202,
  kURLErrorFileDoesNotExist = -1100,
  kURLErrorResourceUnavailable = -1008,
};

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
