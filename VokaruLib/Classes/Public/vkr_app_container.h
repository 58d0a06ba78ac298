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

// The same for the settings of the main bundle's config.xml, for what starts before a controller
// reads them (the web engine); a config.xml that is missing or broken keeps the app confined.
std::optional<platform::AppContainer> vkrAppContainerFromConfig();
