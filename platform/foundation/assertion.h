#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Reports a programming error (a broken internal-consistency rule) with its fixed text. The text
// is logged; then the process aborts, unless a handler is installed, in which case the handler
// gets the text and the caller goes on.
void assertionFailure(std::string_view message);

// Installs a handler in place of the abort (tests use it to check the texts); an empty handler
// restores the abort. Answers the previous handler.
using AssertionHandler = std::function<void(std::string_view message)>;
AssertionHandler setAssertionHandler(AssertionHandler handler);

}  // namespace platform
