#include "ads/foundation/internal_errors.h"

platform::Error zad_errorWithDomain(std::string domain, int64_t code,
                                    const std::optional<std::string>& description) {
  platform::Value userInfo = platform::Value::dictionary();
  if (description) {
    userInfo.set(platform::Error::kDescriptionKey, *description);
    userInfo.set(platform::Error::kFailureReasonKey, *description);
  }
  return platform::Error(std::move(domain), code, std::move(userInfo));
}

platform::Error zad_errorWithCode(int64_t code, const std::optional<std::string>& description) {
  return zad_errorWithDomain(kZADInternalErrorDomain, code, description);
}

std::optional<std::string> zad_localizedDescriptionForErrorCode(int64_t code) {
  switch (code) {
    case kZADInternalErrorFileNotRead:
      return "File could not be read.";
    case kZADInternalErrorInternal:
      return "Internal error.";
    case kZADInternalErrorInvalidArgument:
      return "Invalid argument.";
    default:
      return std::nullopt;
  }
}
