#pragma once
// Small shared pieces of the instance-identity client: its error domain, clock, app facts,
// endpoints, token option keys, the scope test, the text form of the push token and the library
// version.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/url_request.h"

inline constexpr const char* kVIZInstanceIDErrorDomain = "com.zorova.iid";

enum VIZInstanceIDErrorCode : int64_t {
  kVIZInstanceIDErrorUnknown = 0,
  kVIZInstanceIDErrorCheckinInProgress = 5,
  kVIZInstanceIDErrorInvalidCheckin = 6,
  kVIZInstanceIDErrorInvalidResponse = 7,
  kVIZInstanceIDErrorInvalidRequest = 8,
  kVIZInstanceIDErrorTimeout = 501,
  kVIZInstanceIDErrorMissingAPNSToken = 1001,
  kVIZInstanceIDErrorMissingAPNSServerType = 1002,
  kVIZInstanceIDErrorInvalidAuthorizedEntity = 1003,
  kVIZInstanceIDErrorInvalidScope = 1004,
  kVIZInstanceIDErrorNotStarted = 1005,
  kVIZInstanceIDErrorKeyPairLoad = 1006,
  kVIZInstanceIDErrorDeleteAllTokens = 1007,
  kVIZInstanceIDErrorMissingKeyPair = 2001,
  kVIZInstanceIDErrorEmptyKeyTag = 2002,
  kVIZInstanceIDErrorMissingPrivateKey = 2003,
  kVIZInstanceIDErrorMissingPublicKey = 2004,
  kVIZInstanceIDErrorMissingCreationTime = 2005,
  // An empty service, account or password given to the keychain.
  kVIZInstanceIDErrorKeychainParameter = -1301,
};

// An error of the domain with the code and no user info.
platform::Error VIZInstanceIDError(int64_t code);

// Whole seconds since 1970 from the clock in use; milliseconds at whole-second resolution.
int64_t VIZInstanceIDCurrentTimestampInSeconds();
int64_t VIZInstanceIDCurrentTimestampInMilliseconds();

// The main bundle's "CFBundleShortVersionString" ("" when missing) and identifier.
std::string VIZInstanceIDCurrentAppVersion();
std::string VIZInstanceIDAppBundleIdentifier();

// The identity service's endpoints. Each base URL ("https://host[:port]") is a setting: the
// defaults below, replaced for the whole process by VIZInstanceIDSetServiceBaseURL (a deployment
// or a test pointing the client at its own server) or, when nothing was set, by the environment
// variable "VOKARU_IID_BASE_URL".
inline constexpr const char* kVIZInstanceIDDefaultCheckinBaseURL = "https://checkin.zorova.com";
inline constexpr const char* kVIZInstanceIDDefaultRegisterBaseURL = "https://iid.zorova.com";
void VIZInstanceIDSetServiceBaseURL(std::optional<std::string> baseURL);
std::string VIZInstanceIDCheckinServer();   // base + "/checkin"
std::string VIZInstanceIDRegisterServer();  // base + "/iid/register"

// A request for the endpoint URL text (one without a URL, which fails to load, when the text is
// not a URL).
platform::net::URLRequest VIZInstanceIDRequestWithURL(const std::string& url);

// {"apns_token", "apns_sandbox"}: the option keys a token request may carry; {"apns_token"}:
// those the registration form sends.
std::set<std::string, std::less<>> VIZInstanceIDTokenOptionKeys();
std::set<std::string, std::less<>> VIZInstanceIDRequestOptionKeys();
inline constexpr const char* kVIZInstanceIDTokenOptionsAPNSKey = "apns_token";
inline constexpr const char* kVIZInstanceIDTokenOptionsAPNSIsSandboxKey = "apns_sandbox";
inline constexpr const char* kVIZInstanceIDScopeZCM = "ZCM";

// Whether the scope is the messaging scope "ZCM", compared without regard to case.
bool VIZInstanceIDIsZCMScope(std::string_view scope);

// "s_" (sandbox) or "p_" (production), then each byte as two lower-case hex digits.
std::string VIZInstanceIDAPNSTokenString(const platform::Bytes& token, bool sandbox);

// The parts of the text between the separators, as the platform splits texts ("a||b" at "|" gives
// "a", "", "b"; an empty text gives one empty part).
std::vector<std::string> VIZInstanceIDSplit(std::string_view text, std::string_view separator);

// The library version, "1.1.1", and its parts.
std::string VIZInstanceIDCurrentLibraryVersion();
int VIZInstanceIDLibraryVersionMajor();
int VIZInstanceIDLibraryVersionMinor();
int VIZInstanceIDLibraryVersionPatch();
// Whether the stores' moves of older stored forms apply to this version (1.1.0 and 1.1.1).
bool VIZInstanceIDRunsStoreMigrations();
