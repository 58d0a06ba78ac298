#include "platform/ui/gtk/cairo_image.h"

#include <algorithm>

namespace platform::ui::gtk {

Image imageFromSurface(cairo_surface_t* surface) {
  Image image;
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return image;
  // Draw anything that is not already a 32-bit image into one, so the pixels can be read.
  cairo_surface_t* pixels = nullptr;
  if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE &&
      cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32) {
    pixels = cairo_surface_reference(surface);
  } else {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_t* probe = cairo_create(surface);
    cairo_clip_extents(probe, &x1, &y1, &x2, &y2);
    cairo_destroy(probe);
    pixels = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(x2 - x1),
                                        static_cast<int>(y2 - y1));
    cairo_t* cr = cairo_create(pixels);
    cairo_set_source_surface(cr, surface, -x1, -y1);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  cairo_surface_flush(pixels);
  image.width = cairo_image_surface_get_width(pixels);
  image.height = cairo_image_surface_get_height(pixels);
  const int stride = cairo_image_surface_get_stride(pixels);
  const unsigned char* data = cairo_image_surface_get_data(pixels);
  image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
  for (int y = 0; y < image.height && data; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < image.width; ++x) {
      // Native-endian premultiplied ARGB: read by component, then undo the premultiplication.
      const uint32_t argb = row[x];
      const uint32_t a = argb >> 24;
      auto channel = [a](uint32_t premultiplied) -> uint8_t {
        return a == 0 ? 0 : static_cast<uint8_t>((premultiplied * 255 + a / 2) / a);
      };
      uint8_t* out = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
      out[0] = channel((argb >> 16) & 0xff);
      out[1] = channel((argb >> 8) & 0xff);
      out[2] = channel(argb & 0xff);
      out[3] = static_cast<uint8_t>(a);
    }
  }
  cairo_surface_destroy(pixels);
  return image;
}

cairo_surface_t* surfaceFromImage(const Image& image) {
  cairo_surface_t* surface = cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, std::max(image.width, 0), std::max(image.height, 0));
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const size_t pixels = static_cast<size_t>(std::max(image.width, 0)) * std::max(image.height, 0);
  if (!data || image.rgba.size() < pixels * 4) return surface;
  for (int y = 0; y < image.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* in = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
      const uint32_t a = in[3];
      auto premultiply = [a](uint32_t c) { return (c * a + 127) / 255; };
      row[x] =
          (a << 24) | (premultiply(in[0]) << 16) | (premultiply(in[1]) << 8) | premultiply(in[2]);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace platform::ui::gtk
