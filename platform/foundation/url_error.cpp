#include "platform/foundation/url_error.h"

namespace platform {

namespace {
const char* describe(int64_t code) {
  switch (code) {
    case kURLErrorCancelled:
      return "cancelled";
    case kURLErrorBadURL:
      return "bad URL";
    case kURLErrorTimedOut:
      return "The request timed out.";
    case kURLErrorUnsupportedURL:
      return "unsupported URL";
    case kURLErrorCannotFindHost:
      return "A server with the specified hostname could not be found.";
    case kURLErrorCannotConnectToHost:
      return "Could not connect to the server.";
    case kURLErrorNetworkConnectionLost:
      return "The network connection was lost.";
    case kURLErrorHTTPTooManyRedirects:
      return "too many HTTP redirects";
    case kURLErrorResourceUnavailable:
      return "resource unavailable";
    case kURLErrorNotConnectedToInternet:
      return "The Internet connection appears to be offline.";
    case kURLErrorBadServerResponse:
      return "bad server response";
    case kURLErrorUserCancelledAuthentication:
      return "cancelled authentication";
    case kURLErrorCannotDecodeContentData:
      return "cannot decode content data";
    case kURLErrorRequestBodyStreamExhausted:
      return "request body stream exhausted";
    case kURLErrorFileDoesNotExist:
      return "The requested file does not exist.";
    case kURLErrorSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case kURLErrorServerCertificateUntrusted:
      return "The certificate for this server is invalid.";
    case kURLErrorCannotCreateFile:
      return "cannot create file";
    case kURLErrorCannotWriteToFile:
      return "cannot write to file";
    case kURLErrorCannotResumeDownload:
      return "cannot resume download";
    default:
      return "unknown error";
  }
}
}  // namespace

Error makeURLError(int64_t code, const std::string& failingURL) {
  Value userInfo = Value::dictionary({{Error::kDescriptionKey, describe(code)}});
  if (!failingURL.empty()) userInfo.set(kURLErrorFailingURLStringKey, failingURL);
  return Error(kURLErrorDomain, code, std::move(userInfo));
}

}  // namespace platform
