#pragma once
// How every part of the messaging client makes its errors: the domain "com.zorova.zcm" with a
// code (a client code, a keychain status or an SQLite result code) and optional user info.
#include <cstdint>

#include "platform/foundation/error.h"

inline constexpr const char* kZCMErrorDomain = "com.zorova.zcm";

// An empty service, account or password given to the keychain.
inline constexpr int64_t kZCMErrorCodeKeychainParameter = -1301;

// The client's own codes.
enum ZCMErrorCode : int64_t {
  kZCMErrorCodeNetwork = 4,                    // an upstream message that can't be sent now
  kZCMErrorCodePubSubOperationInProgress = 5,  // the same topic request is still running
  kZCMErrorCodeInvalidResponse = 7,            // a topic reply without its token
  kZCMErrorCodeMissingCheckin = 501,           // no valid check-in credentials (or not logged in)
  kZCMErrorCodeUpstreamTimeToLiveExceeded = 1001,
  kZCMErrorCodeMissingTo = 1003,
  kZCMErrorCodeSaveMessageFailed = 1004,
  kZCMErrorCodeSizeExceeded = 1005,
  kZCMErrorCodeAlreadyConnected = 2001,
  kZCMErrorCodeAlreadySubscribed = 3001,
  kZCMErrorCodeAlreadyUnsubscribed = 3002,
  kZCMErrorCodeInvalidTopic = 3003,
  kZCMErrorCodePubSubClientNotSetup = 3004,
};

// The domain, the code and no user info.
platform::Error errorWithZcmErrorCode(int64_t code);
// The domain, the code and the user info.
platform::Error zcm_errorWithCode(int64_t code, platform::Value userInfo);
inline int64_t zcmErrorCode(const platform::Error& error) { return error.code(); }
