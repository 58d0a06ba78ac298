#include "platform/ui/image_file.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <string>

namespace platform::ui {

namespace fs = std::filesystem;

Result<Image> readImageFile(const fs::path& path) {
  GError* error = nullptr;
  GdkPixbuf* loaded = gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (!loaded) {
    std::string message = error ? error->message : "cannot decode the image";
    int code = error ? error->code : 0;
    if (error) g_error_free(error);
    return Error::withDescription("ImageErrorDomain", code, path.string() + ": " + message);
  }
  // Always four 8-bit channels, whatever the file held.
  GdkPixbuf* rgba = gdk_pixbuf_get_has_alpha(loaded) ? GDK_PIXBUF(g_object_ref(loaded))
                                                     : gdk_pixbuf_add_alpha(loaded, FALSE, 0, 0, 0);
  g_object_unref(loaded);
  Image image;
  image.width = gdk_pixbuf_get_width(rgba);
  image.height = gdk_pixbuf_get_height(rgba);
  const int stride = gdk_pixbuf_get_rowstride(rgba);
  const guchar* pixels = gdk_pixbuf_read_pixels(rgba);
  const size_t row = static_cast<size_t>(image.width) * 4;
  image.rgba.resize(row * static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(&image.rgba[row * static_cast<size_t>(y)], pixels + static_cast<size_t>(y) * stride,
                row);
  }
  g_object_unref(rgba);
  return image;
}

std::optional<fs::path> findNamedImage(const fs::path& folder, std::string_view name, int scale) {
  fs::path relative(name);
  if (relative.empty() || relative.is_absolute()) return std::nullopt;
  for (const fs::path& step : relative) {
    if (step == "..") return std::nullopt;
  }
  const std::string extension = relative.has_extension() ? relative.extension().string() : ".png";
  const fs::path stem = relative.parent_path() / relative.stem();
  std::vector<fs::path> candidates;
  if (scale > 1)
    candidates.push_back(stem.string() + "@" + std::to_string(scale) + "x" + extension);
  candidates.push_back(stem.string() + extension);
  for (const fs::path& candidate : candidates) {
    std::error_code ignored;
    if (fs::is_regular_file(folder / candidate, ignored)) return folder / candidate;
  }
  return std::nullopt;
}

}  // namespace platform::ui
