#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/error.h"

// The ads engine's internal errors.
inline constexpr const char* kZADInternalErrorDomain = "com.zorova.ads.private";
enum ZADInternalErrorCode : int64_t {
  kZADInternalErrorFileNotRead = 1,
  kZADInternalErrorInternal = 2,
  kZADInternalErrorInvalidArgument = 3,
};

// An error of the domain and code; with a description the user info is exactly that text as the
// localized description and failure reason, without one it is empty.
platform::Error zad_errorWithDomain(std::string domain, int64_t code,
                                    const std::optional<std::string>& description);
// The same in the internal domain.
platform::Error zad_errorWithCode(int64_t code, const std::optional<std::string>& description);
// The text of an internal code; nothing for other codes.
std::optional<std::string> zad_localizedDescriptionForErrorCode(int64_t code);
