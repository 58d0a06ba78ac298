#pragma once
// Where the messaging client meets its servers. Each is a setting: the default below, replaced
// for the whole process by the setter (a deployment or a test pointing the client at its own
// server) or, when nothing was set, by an environment variable. Thread-safe.
#include <cstdint>
#include <optional>
#include <string>

// The registration endpoint that also takes topic requests, shared with the identity client:
// base URL "https://host[:port]", environment "VOKARU_IID_BASE_URL".
inline constexpr const char* kZCMDefaultRegistrationBaseURL = "https://iid.zorova.com";
void ZCMSetRegistrationBaseURL(std::optional<std::string> baseURL);
std::string ZCMRegistrationServer();  // base + "/iid/register"

// The persistent connection's endpoint: port 5228 of the messaging host; environment
// "VOKARU_ZCM_SERVER" as "host[:port]".
struct ZCMMessagingEndpoint {
  std::string host;
  uint16_t port = 0;
};
inline constexpr const char* kZCMDefaultMessagingHost = "mcs.zorova.com";
void ZCMSetMessagingEndpoint(std::optional<ZCMMessagingEndpoint> endpoint);
ZCMMessagingEndpoint ZCMMessagingServer();
