#pragma once

#include <webkit2/webkit2.h>

#include <filesystem>

#include "platform/storage/app_container.h"

namespace platform::web {

// The folder the web process loads its extensions from: $VOKARU_WEB_EXTENSIONS_DIR when set (the
// build tree's tests and benchmarks), else "web-extensions" next to the running executable.
std::filesystem::path defaultWebExtensionsDirectory();

// Has every web process of the context load the container extension from the folder, with the
// container's folders as its data, so that its pages' "file:" requests reach only the container.
// A folder without the extension is logged: pages then load files unconfined.
void confineWebProcesses(WebKitWebContext* context, const AppContainer& container,
                         const std::filesystem::path& extensionsDirectory);

}  // namespace platform::web
