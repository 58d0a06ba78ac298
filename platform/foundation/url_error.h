#pragma once

#include <cstdint>
#include <string>

#include "platform/foundation/error.h"

namespace platform {

// Failures of URL loading, in web views and URL sessions alike, with the platform's domain and
// codes so callers (retry rules, page results, error pages) test the same numbers whatever fails
// underneath (a cancelled load is always -999).
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
// User-info key holding the absolute text of the URL that failed.
inline constexpr const char* kURLErrorFailingURLStringKey = "NSErrorFailingURLStringKey";

enum URLErrorCode : int64_t {
  kURLErrorUnknown = -1,
  kURLErrorCancelled = -999,
  kURLErrorBadURL = -1000,
  kURLErrorTimedOut = -1001,
  kURLErrorUnsupportedURL = -1002,
  kURLErrorCannotFindHost = -1003,
  kURLErrorCannotConnectToHost = -1004,
  kURLErrorNetworkConnectionLost = -1005,
  kURLErrorHTTPTooManyRedirects = -1007,
  kURLErrorResourceUnavailable = -1008,
  kURLErrorNotConnectedToInternet = -1009,
  kURLErrorBadServerResponse = -1011,
  kURLErrorUserCancelledAuthentication = -1012,
  kURLErrorCannotDecodeContentData = -1016,
  kURLErrorRequestBodyStreamExhausted = -1021,
  kURLErrorFileDoesNotExist = -1100,
  kURLErrorSecureConnectionFailed = -1200,
  kURLErrorServerCertificateUntrusted = -1202,
  kURLErrorCannotCreateFile = -3000,
  kURLErrorCannotWriteToFile = -3003,
  kURLErrorCannotResumeDownload = -3006,
};

// An error of the URL domain with a description and, when given, the failing URL's text.
Error makeURLError(int64_t code, const std::string& failingURL = {});

}  // namespace platform
