#pragma once
// How every part of the messaging client makes its errors: the domain "com.zorova.zcm" with a
// code (a client code, a keychain status or an SQLite result code) and optional user info.
#include <cstdint>

#include "platform/foundation/error.h"

inline constexpr const char* kZCMErrorDomain = "com.zorova.zcm";

// An empty service, account or password given to the keychain.
inline constexpr int64_t kZCMErrorCodeKeychainParameter = -1301;

// The domain, the code and no user info.
platform::Error errorWithZcmErrorCode(int64_t code);
// The domain, the code and the user info.
platform::Error zcm_errorWithCode(int64_t code, platform::Value userInfo);
inline int64_t zcmErrorCode(const platform::Error& error) { return error.code(); }
