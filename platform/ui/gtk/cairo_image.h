#pragma once

#include <cairo.h>

#include "platform/ui/image.h"

namespace platform::ui::gtk {

// The pixels of a cairo surface as an Image (straight-alpha RGBA).
Image imageFromSurface(cairo_surface_t* surface);

}  // namespace platform::ui::gtk
