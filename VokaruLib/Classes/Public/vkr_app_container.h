#pragma once

#include <optional>

#include "platform/foundation/value.h"
#include "platform/storage/app_container.h"

// Our own config.xml preference, off by default: when true, the app's pages and plugins reach
// every file the user can, as an unconfined desktop program does.
inline constexpr const char* kVKRAllowFilesOutsideAppPreference = "VokaruAllowFilesOutsideApp";

// The running app's container, unless the settings (config.xml's preferences, lower-cased keys)
// let the app out of it.
std::optional<platform::AppContainer> vkrAppContainer(const platform::Dictionary& settings);

// The preferences of the app's config.xml, read before any controller exists (the web engine is
// made first); none when it can't be read.
platform::Dictionary vkrAppConfigSettings();
