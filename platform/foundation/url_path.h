#pragma once

#include <string>
#include <string_view>

namespace platform {

// Interprets "." and ".." segments (RFC 3986, 5.2.4), so "/a/b/../c/./d" becomes "/a/c/d".
std::string removeDotSegments(std::string_view path);

}  // namespace platform
