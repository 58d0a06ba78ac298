#pragma once

#include <optional>
#include <string_view>

#include "platform/ui/geometry.h"

// The size of the app's window when it opens: the "--window-size" option, else the "WindowSize"
// preference of config.xml, else a size that suits a desktop. The user may resize it freely.
inline constexpr platform::ui::Size kDefaultWindowSize{1024, 768};
inline constexpr const char* kWindowSizePreference = "windowsize";

// "<width>x<height>" in whole points, each from 1 to 16384 ("x" or "X"); nothing otherwise.
std::optional<platform::ui::Size> parseWindowSize(std::string_view text);
