#pragma once

#include <string>

namespace platform::net {

// A short lower-case phrase for an HTTP status code ("not found" for 404), for messages shown
// to people; a code outside the table gets its class's phrase ("client error", ...).
std::string localizedStringForHTTPStatusCode(int statusCode);

}  // namespace platform::net
