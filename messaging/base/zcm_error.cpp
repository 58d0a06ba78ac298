#include "messaging/base/zcm_error.h"

platform::Error errorWithZcmErrorCode(int64_t code) {
  return platform::Error(kZCMErrorDomain, code);
}

platform::Error zcm_errorWithCode(int64_t code, platform::Value userInfo) {
  return platform::Error(kZCMErrorDomain, code, std::move(userInfo));
}
