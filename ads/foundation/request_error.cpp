#include "ads/foundation/request_error.h"

#include <array>

#include "ads/foundation/sdk_core_services.h"
#include "platform/foundation/log.h"
#include "platform/foundation/system_info.h"
#include "platform/net/http_status_phrase.h"

namespace {

constexpr std::array<const char*, 14> kMessages = {
    "Request Error: Invalid ad request parameter(s). Check the Xcode console for details.",
    "Request Error: No ad to show.",
    "Request Error: A network error occurred.",
    "Request Error: Server error processing the request.",
    nullptr,  // the OS text, made once
    "Request Error: The Zorova Ad request was unable to be fulfilled before a timeout occurred.",
    "Request Error: Will not send request because interstitial object has been used.",
    "Request Error: The mediation response was invalid.",
    "Request Error: Cannot find an ad network adapter for mediation.",
    "Request Error: No ad to show from all configured ad networks.",
    "Request Error: Incompatible ad type requested.",
    "Request Error: Internal error.",
    "Request Error: Invalid argument.",
    "Request Error: Received invalid response.",
};

const std::string& osVersionMessage() {
  static const std::string message = [] {
    const std::string version = platform::systemVersion();
    if (version.empty()) return std::string(kMessages[0]);
    return platform::format(
        "Request Error: This device's OS is %s. It is below the minimum of %ld.%ld.",
        version.c_str(), 6L, 0L);
  }();
  return message;
}

platform::Value userInfoFor(int64_t code, const ZADRequest* request, int64_t httpStatusCode,
                            const std::optional<std::string>& customMessage,
                            const std::optional<platform::Error>& underlyingError) {
  platform::Value userInfo = platform::Value::dictionary();
  const std::string message =
      customMessage ? *customMessage : ZADRequestError::messageForCode(code);
  userInfo.set(platform::Error::kDescriptionKey, message);
  userInfo.set(platform::Error::kFailureReasonKey, message);
  if (underlyingError) {
    userInfo.set(platform::Error::kUnderlyingErrorKey, ZADErrorValue(*underlyingError));
  }
  if (code == kZADErrorInvalidRequest && request) {
    for (auto& [key, value] : request->parameters()) userInfo.set(key, value);
  }
  if (httpStatusCode >= 1) {
    const std::string phrase =
        platform::net::localizedStringForHTTPStatusCode(static_cast<int>(httpStatusCode));
    userInfo.set("HttpStatus", platform::format("HTTP status %ld: %s",
                                                static_cast<long>(httpStatusCode), phrase.c_str()));
  }
  return userInfo;
}

}  // namespace

ZADRequestError::ZADRequestError(int64_t code, const ZADRequest* request, int64_t httpStatusCode,
                                 const std::optional<std::string>& customMessage,
                                 const std::optional<platform::Error>& underlyingError)
    : platform::Error(kZADErrorDomain, code,
                      userInfoFor(code, request, httpStatusCode, customMessage, underlyingError)) {}

ZADRequestError ZADRequestError::errorWithDomain(std::string domain, int64_t code,
                                                 platform::Value userInfo) {
  const platform::Error plain(std::move(domain), code, std::move(userInfo));
  return ZADRequestError(kZADErrorInternalError, nullptr, 0, std::nullopt, plain);
}

std::string ZADRequestError::messageForCode(int64_t code) {
  if (code == kZADErrorOSVersionTooLow) return osVersionMessage();
  if (code < 0 || code >= static_cast<int64_t>(kMessages.size())) return kMessages[0];
  return kMessages[static_cast<size_t>(code)];
}

platform::Value ZADErrorValue(const platform::Error& error) {
  return platform::Value::dictionary(
      {{"domain", error.domain()}, {"code", error.code()}, {"userInfo", error.userInfo()}});
}
