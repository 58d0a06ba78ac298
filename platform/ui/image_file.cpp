#include "platform/ui/image_file.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <string>

namespace platform::ui {

namespace fs = std::filesystem;

namespace {

Error imageError(GError* error, const std::string& what) {
  std::string message = error ? error->message : "cannot decode the image";
  int code = error ? error->code : 0;
  if (error) g_error_free(error);
  return Error::withDescription("ImageErrorDomain", code, what + ": " + message);
}

// Takes the reference of a decoded pixbuf.
Image imageFromPixbuf(GdkPixbuf* loaded) {
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

}  // namespace

Result<Image> readImageFile(const fs::path& path) {
  GError* error = nullptr;
  GdkPixbuf* loaded = gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (!loaded) return imageError(error, path.string());
  return imageFromPixbuf(loaded);
}

Result<ImageFile> imageFileAt(const fs::path& path) {
  int width = 0;
  int height = 0;
  if (!gdk_pixbuf_get_file_info(path.c_str(), &width, &height) || width <= 0 || height <= 0) {
    return Error::withDescription("ImageErrorDomain", 0,
                                  path.string() + ": not an image file that can be read");
  }
  return ImageFile{path, Size{static_cast<double>(width), static_cast<double>(height)}};
}

Result<Image> decodeImageData(const Bytes& data) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GError* error = nullptr;
  bool decoded = gdk_pixbuf_loader_write(loader, data.data(), data.size(), &error);
  // A loader is always closed; after a failed write its own complaint adds nothing.
  GError* closeError = nullptr;
  decoded = gdk_pixbuf_loader_close(loader, decoded ? &error : &closeError) && decoded;
  if (closeError) g_error_free(closeError);
  GdkPixbuf* loaded = decoded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (loaded) g_object_ref(loaded);
  g_object_unref(loader);
  if (!loaded) return imageError(error, "image data");
  if (error) g_error_free(error);
  return imageFromPixbuf(loaded);
}

Result<Bytes> pngDataOfImage(const Image& image) {
  if (image.isEmpty() || image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
    return Error::withDescription("ImageErrorDomain", 0, "no image to encode");
  }
  GdkPixbuf* pixbuf =
      gdk_pixbuf_new_from_data(image.rgba.data(), GDK_COLORSPACE_RGB, TRUE, 8, image.width,
                               image.height, image.width * 4, nullptr, nullptr);
  gchar* buffer = nullptr;
  gsize size = 0;
  GError* error = nullptr;
  const bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", &error, nullptr);
  g_object_unref(pixbuf);
  if (!saved) return imageError(error, "PNG");
  Bytes png(buffer, buffer + size);
  g_free(buffer);
  return png;
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
