// Pictures on gdk-pixbuf: decoding, drawing with scale and offset, quarter turns, encoding.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/media/picture.h"

namespace platform::media {

// One owner for the pixbuf.
struct Picture::Bitmap {
  explicit Bitmap(GdkPixbuf* pixbuf) : pixbuf(pixbuf) {}
  ~Bitmap() { g_object_unref(pixbuf); }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  GdkPixbuf* pixbuf;
};

namespace {

Error undecodable(const std::string& why) {
  return Error::withDescription(kPictureErrorDomain, kPictureUndecodable,
                                "The picture could not be read: " + why);
}

Error encodingFailed(GError* error) {
  std::string why = error ? error->message : "unknown failure";
  if (error) g_error_free(error);
  return Error::withDescription(kPictureErrorDomain, kPictureEncodingFailed,
                                "The picture could not be encoded: " + why);
}

bool withinBounds(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= Picture::kMaxSide && height <= Picture::kMaxSide &&
         width * height <= Picture::kMaxPixels;
}

bool quarterTurned(PictureOrientation orientation) {
  switch (orientation) {
    case PictureOrientation::Left:
    case PictureOrientation::Right:
    case PictureOrientation::LeftMirrored:
    case PictureOrientation::RightMirrored:
      return true;
    default:
      return false;
  }
}

PictureOrientation fromExif(const char* tag) {
  if (!tag) return PictureOrientation::Up;
  switch (std::atoi(tag)) {
    case 2:
      return PictureOrientation::UpMirrored;
    case 3:
      return PictureOrientation::Down;
    case 4:
      return PictureOrientation::DownMirrored;
    case 5:
      return PictureOrientation::LeftMirrored;
    case 6:
      return PictureOrientation::Right;
    case 7:
      return PictureOrientation::RightMirrored;
    case 8:
      return PictureOrientation::Left;
    default:
      return PictureOrientation::Up;
  }
}

GdkPixbuf* rotated(GdkPixbuf* source, int quarterTurns) {
  switch (((quarterTurns % 4) + 4) % 4) {
    case 1:
      return gdk_pixbuf_rotate_simple(source, GDK_PIXBUF_ROTATE_CLOCKWISE);
    case 2:
      return gdk_pixbuf_rotate_simple(source, GDK_PIXBUF_ROTATE_UPSIDEDOWN);
    case 3:
      return gdk_pixbuf_rotate_simple(source, GDK_PIXBUF_ROTATE_COUNTERCLOCKWISE);
    default:
      return GDK_PIXBUF(g_object_ref(source));
  }
}

// The bitmap as seen upright (a new reference; null when out of memory).
GdkPixbuf* upright(GdkPixbuf* source, PictureOrientation orientation) {
  switch (orientation) {
    case PictureOrientation::Up:
      return GDK_PIXBUF(g_object_ref(source));
    case PictureOrientation::Down:
      return rotated(source, 2);
    case PictureOrientation::Left:
      return rotated(source, 3);
    case PictureOrientation::Right:
      return rotated(source, 1);
    case PictureOrientation::UpMirrored:
      return gdk_pixbuf_flip(source, TRUE);
    case PictureOrientation::DownMirrored:
      return gdk_pixbuf_flip(source, FALSE);
    case PictureOrientation::LeftMirrored:
    case PictureOrientation::RightMirrored: {
      GdkPixbuf* turned = rotated(source, orientation == PictureOrientation::LeftMirrored ? 1 : 3);
      if (!turned) return nullptr;
      GdkPixbuf* flipped = gdk_pixbuf_flip(turned, TRUE);
      g_object_unref(turned);
      return flipped;
    }
  }
  return GDK_PIXBUF(g_object_ref(source));
}

int wholePixels(double side) { return static_cast<int>(std::ceil(side - 1e-9)); }

}  // namespace

Result<Picture> Picture::fromRGBA(int width, int height, const uint8_t* rgba,
                                  PictureOrientation orientation) {
  if (!withinBounds(width, height) || !rgba) return undecodable("no pixels, or too many");
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
  if (!pixbuf) return undecodable("out of memory");
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels + static_cast<size_t>(y) * stride, rgba + static_cast<size_t>(y) * width * 4,
                static_cast<size_t>(width) * 4);
  }
  return Picture(std::make_shared<const Bitmap>(pixbuf), orientation);
}

Result<Picture> Picture::decode(const Bytes& data) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  // Refuse a picture too large to hold before its pixels are allocated.
  bool tooLarge = false;
  g_signal_connect(loader, "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* self, int width, int height, gpointer flag) {
                     if (!withinBounds(width, height)) {
                       *static_cast<bool*>(flag) = true;
                       gdk_pixbuf_loader_set_size(self, 1, 1);
                     }
                   }),
                   &tooLarge);
  GError* error = nullptr;
  const bool written =
      !data.empty() && gdk_pixbuf_loader_write(loader, data.data(), data.size(), &error);
  const bool closed = gdk_pixbuf_loader_close(loader, written ? &error : nullptr);
  std::string why = error ? error->message : (data.empty() ? "no data" : "unknown format");
  if (error) g_error_free(error);
  GdkPixbuf* pixbuf =
      written && closed && !tooLarge ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  if (tooLarge) return undecodable("it has more pixels than a picture may hold");
  if (!pixbuf) return undecodable(why);
  const PictureOrientation orientation = fromExif(gdk_pixbuf_get_option(pixbuf, "orientation"));
  return Picture(std::make_shared<const Bitmap>(pixbuf), orientation);
}

Result<Picture> Picture::readFile(const std::filesystem::path& path) {
  gchar* contents = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  if (!g_file_get_contents(path.c_str(), &contents, &length, &error)) {
    std::string why = error->message;
    g_error_free(error);
    return undecodable(why);
  }
  Bytes data(reinterpret_cast<uint8_t*>(contents), reinterpret_cast<uint8_t*>(contents) + length);
  g_free(contents);
  return decode(data);
}

int Picture::pixelWidth() const { return gdk_pixbuf_get_width(bitmap_->pixbuf); }
int Picture::pixelHeight() const { return gdk_pixbuf_get_height(bitmap_->pixbuf); }
bool Picture::hasAlpha() const { return gdk_pixbuf_get_has_alpha(bitmap_->pixbuf); }

ui::Size Picture::size() const {
  const double width = pixelWidth();
  const double height = pixelHeight();
  return quarterTurned(orientation_) ? ui::Size{height, width} : ui::Size{width, height};
}

Result<Picture> Picture::drawnInto(ui::Size canvas, ui::Rect rect) const {
  const int width = wholePixels(canvas.width);
  const int height = wholePixels(canvas.height);
  if (!withinBounds(width, height)) return undecodable("the canvas is empty or too large");
  GdkPixbuf* source = upright(bitmap_->pixbuf, orientation_);
  GdkPixbuf* target =
      source ? gdk_pixbuf_new(GDK_COLORSPACE_RGB, hasAlpha(), 8, width, height) : nullptr;
  if (!target) {
    if (source) g_object_unref(source);
    return undecodable("out of memory");
  }
  gdk_pixbuf_fill(target, 0);
  // The part of the canvas the drawing covers, in whole pixels.
  const int left = std::max(0, static_cast<int>(std::floor(rect.x())));
  const int top = std::max(0, static_cast<int>(std::floor(rect.y())));
  const int right = std::min(width, wholePixels(rect.maxX()));
  const int bottom = std::min(height, wholePixels(rect.maxY()));
  if (right > left && bottom > top && rect.width() > 0 && rect.height() > 0) {
    gdk_pixbuf_scale(source, target, left, top, right - left, bottom - top, rect.x(), rect.y(),
                     rect.width() / gdk_pixbuf_get_width(source),
                     rect.height() / gdk_pixbuf_get_height(source), GDK_INTERP_BILINEAR);
  }
  g_object_unref(source);
  return Picture(std::make_shared<const Bitmap>(target), PictureOrientation::Up);
}

Result<Picture> Picture::turned(int quarterTurns, ui::Size size) const {
  const int width = wholePixels(size.width);
  const int height = wholePixels(size.height);
  if (!withinBounds(width, height)) return undecodable("the canvas is empty or too large");
  GdkPixbuf* turnedPixbuf = rotated(bitmap_->pixbuf, quarterTurns);
  if (!turnedPixbuf) return undecodable("out of memory");
  if (gdk_pixbuf_get_width(turnedPixbuf) != width ||
      gdk_pixbuf_get_height(turnedPixbuf) != height) {
    GdkPixbuf* stretched =
        gdk_pixbuf_scale_simple(turnedPixbuf, width, height, GDK_INTERP_BILINEAR);
    g_object_unref(turnedPixbuf);
    turnedPixbuf = stretched;
    if (!turnedPixbuf) return undecodable("out of memory");
  }
  return Picture(std::make_shared<const Bitmap>(turnedPixbuf), PictureOrientation::Up);
}

Result<Bytes> Picture::jpegData(double quality) const {
  const int percent = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
  const std::string qualityText = std::to_string(percent);
  GdkPixbuf* seen = upright(bitmap_->pixbuf, orientation_);
  if (!seen) return encodingFailed(nullptr);
  // JPEG has no alpha: transparent parts become white.
  GdkPixbuf* opaque = hasAlpha()
                          ? gdk_pixbuf_composite_color_simple(
                                seen, gdk_pixbuf_get_width(seen), gdk_pixbuf_get_height(seen),
                                GDK_INTERP_NEAREST, 255, 8, 0xffffffff, 0xffffffff)
                          : GDK_PIXBUF(g_object_ref(seen));
  g_object_unref(seen);
  if (!opaque) return encodingFailed(nullptr);
  gchar* buffer = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  const gboolean saved = gdk_pixbuf_save_to_buffer(opaque, &buffer, &length, "jpeg", &error,
                                                   "quality", qualityText.c_str(), nullptr);
  g_object_unref(opaque);
  if (!saved) return encodingFailed(error);
  Bytes data(reinterpret_cast<uint8_t*>(buffer), reinterpret_cast<uint8_t*>(buffer) + length);
  g_free(buffer);
  return data;
}

Result<Bytes> Picture::pngData() const {
  gchar* buffer = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  GdkPixbuf* seen = upright(bitmap_->pixbuf, orientation_);
  if (!seen) return encodingFailed(nullptr);
  const gboolean saved = gdk_pixbuf_save_to_buffer(seen, &buffer, &length, "png", &error, nullptr);
  g_object_unref(seen);
  if (!saved) return encodingFailed(error);
  Bytes data(reinterpret_cast<uint8_t*>(buffer), reinterpret_cast<uint8_t*>(buffer) + length);
  g_free(buffer);
  return data;
}

uint32_t Picture::pixel(int x, int y) const {
  GdkPixbuf* pixbuf = bitmap_->pixbuf;
  if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return 0;
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar* p = gdk_pixbuf_read_pixels(pixbuf) +
                    static_cast<size_t>(y) * gdk_pixbuf_get_rowstride(pixbuf) +
                    static_cast<size_t>(x) * channels;
  const uint32_t alpha = channels == 4 ? p[3] : 0xff;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | alpha;
}

}  // namespace platform::media
