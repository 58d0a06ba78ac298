#pragma once

#include <webkit2/webkit2.h>

namespace platform::web {

// Writes the page's console lines ("CONSOLE LOG <text>", also WARN, ERROR, INFO, DEBUG, and
// uncaught errors as ERROR) to this process's standard output, one line each. WebKit's own
// console printing writes them to the web process's standard error, mixed with the runtime's log
// lines; here a script at document start hands each console call to this process instead.
// Once per content manager (related views share one). Main thread only.
void relayConsoleToStandardOutput(WebKitWebView* view);

}  // namespace platform::web
