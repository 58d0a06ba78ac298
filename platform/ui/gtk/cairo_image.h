#pragma once

#include <cairo.h>

#include "platform/ui/image.h"

namespace platform::ui::gtk {

// The pixels of a cairo surface as an Image (straight-alpha RGBA).
Image imageFromSurface(cairo_surface_t* surface);
// A new image surface (premultiplied ARGB) with the image's pixels; the caller destroys it.
cairo_surface_t* surfaceFromImage(const Image& image);

}  // namespace platform::ui::gtk
