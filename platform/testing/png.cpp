#include "platform/testing/png.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace platform::testing {

std::string pngOf(int width, int height, uint32_t rgba, bool alpha) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
  gdk_pixbuf_fill(pixbuf, rgba);
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
  std::string png(buffer ? buffer : "", size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return png;
}

}  // namespace platform::testing
