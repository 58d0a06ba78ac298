#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/error.h"

class ZADRequest;

// The error every failed ad request reaches the app as. Its domain is always "com.zorova.ads".
inline constexpr const char* kZADErrorDomain = "com.zorova.ads";
enum ZADErrorCode : int64_t {
  kZADErrorInvalidRequest = 0,
  kZADErrorNoFill = 1,
  kZADErrorNetworkError = 2,
  kZADErrorServerError = 3,
  kZADErrorOSVersionTooLow = 4,
  kZADErrorTimeout = 5,
  kZADErrorInterstitialAlreadyUsed = 6,
  kZADErrorMediationDataError = 7,
  kZADErrorMediationAdapterError = 8,
  kZADErrorMediationNoFill = 9,
  kZADErrorMediationInvalidAdSize = 10,
  kZADErrorInternalError = 11,
  kZADErrorInvalidArgument = 12,
  kZADErrorReceivedInvalidResponse = 13,
};

class ZADRequestError : public platform::Error {
 public:
  // The user info holds, in this order: the message (the custom one, else the code's text) as
  // localized description and failure reason; the underlying error (as its dictionary form:
  // "domain", "code", "userInfo"); for code 0 the request's own parameters; for an HTTP status
  // of 1 or more "HttpStatus" = "HTTP status <status>: <phrase>".
  ZADRequestError(int64_t code, const ZADRequest* request, int64_t httpStatusCode,
                  const std::optional<std::string>& customMessage,
                  const std::optional<platform::Error>& underlyingError);

  // Any error made from a domain, code and user info becomes code 11 ("Internal error") with that
  // error underneath: a request error is never of another domain.
  static ZADRequestError errorWithDomain(std::string domain, int64_t code,
                                         platform::Value userInfo);

  static ZADRequestError errorWithCode(int64_t code, const ZADRequest* request = nullptr,
                                       int64_t httpStatusCode = 0,
                                       const std::optional<std::string>& customMessage = {},
                                       const std::optional<platform::Error>& underlying = {}) {
    return ZADRequestError(code, request, httpStatusCode, customMessage, underlying);
  }
  static ZADRequestError errorWithCode(int64_t code, const std::string& customMessage) {
    return ZADRequestError(code, nullptr, 0, customMessage, std::nullopt);
  }
  // The custom message is the underlying error's localized description.
  static ZADRequestError errorWithCode(int64_t code, const platform::Error& underlyingError) {
    return ZADRequestError(code, nullptr, 0, underlyingError.localizedDescription(),
                           underlyingError);
  }

  // A plain error with the same domain, code and user info.
  platform::Error error() const { return *this; }

  // The fixed message of a code (code 0's for unknown codes).
  static std::string messageForCode(int64_t code);
};

// An error as a user-info value: {"domain", "code", "userInfo"}.
platform::Value ZADErrorValue(const platform::Error& error);
