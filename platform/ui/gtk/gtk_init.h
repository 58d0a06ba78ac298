#pragma once

#include "platform/foundation/error.h"

namespace platform::ui::gtk {

inline constexpr const char* kDisplayErrorDomain = "VokaruDisplayErrorDomain";
inline constexpr int64_t kDisplayErrorNotAvailable = 1;

// Initialises GTK once, on the main thread; an error when there is no display to open.
Status initializeGtk();

}  // namespace platform::ui::gtk
