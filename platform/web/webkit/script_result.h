#pragma once

#include <jsc/jsc.h>

#include <string>

#include "platform/foundation/error.h"

namespace platform::web {

// The outcome of an evaluation: the value's text (strings as they are, all their bytes;
// undefined and null ""; everything else as the page's String() gives it), or the error in
// kWebViewErrorDomain.
Result<std::string> scriptResult(JSCValue* value, const GError* error);

}  // namespace platform::web
