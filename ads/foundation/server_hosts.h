#pragma once

// The servers the ads foundation reports to, each a base URL (scheme, host and, when needed, a
// port) with a built-in default that a deployment or a test replaces. Thread-safe.

#include <string>

// The ad server: exception reports go to its "/zads/gen_204".
std::string ZADAdServerBaseURL();
void ZADSetAdServerBaseURL(std::string baseURL);
// The OAuth provider's API host: its "/oauth2/token" endpoint and the "/auth/zads" scope.
std::string ZADOAuthAPIBaseURL();
void ZADSetOAuthAPIBaseURL(std::string baseURL);
