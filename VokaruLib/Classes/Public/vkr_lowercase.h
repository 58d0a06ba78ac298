#pragma once

#include <string>
#include <string_view>

// The text in lower case, as the runtime compares names without regard to case (preference
// keys, service names, timer names). Non-ASCII letters are lowered too.
std::string vkrLowercase(std::string_view text);
