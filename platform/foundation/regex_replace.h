#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/regex.h"

namespace platform {

// Every non-overlapping match of the Perl-compatible pattern in the text, left to right,
// replaced by what `replacement` makes of the match's groups. An error (with the compiler's
// message) for a pattern that does not compile.
Result<std::string> replaceMatches(
    std::string_view pattern, std::string_view text,
    const std::function<std::string(const Regex::Groups& groups)>& replacement);

}  // namespace platform
