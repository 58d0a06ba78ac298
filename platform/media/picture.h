#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/ui/geometry.h"

namespace platform::media {

inline constexpr const char* kPictureErrorDomain = "PictureErrorDomain";
enum PictureErrorCode : int64_t {
  kPictureUndecodable = 1,  // not an image, or one too large to hold
  kPictureEncodingFailed = 2,
};

// How a picture's bitmap is turned to be seen upright (the platform's values; EXIF orientations
// 1, 3, 8, 6, 2, 4, 5, 7 in that order).
enum class PictureOrientation {
  Up = 0,
  Down = 1,
  Left = 2,
  Right = 3,
  UpMirrored = 4,
  DownMirrored = 5,
  LeftMirrored = 6,
  RightMirrored = 7,
};

// A decoded picture: a bitmap and the orientation it is seen in. Immutable; copies share the
// bitmap. Bitmaps are bounded (kMaxPixels) so no picture, decoded or drawn, can exhaust memory.
// Thread-safe: any thread may use a picture.
class Picture {
 public:
  static constexpr int64_t kMaxPixels = 64'000'000;
  static constexpr int kMaxSide = 16'384;

  // A picture from straight-alpha RGBA rows, top row first.
  static Result<Picture> fromRGBA(int width, int height, const uint8_t* rgba,
                                  PictureOrientation orientation = PictureOrientation::Up);
  // Decodes PNG, JPEG and the other formats the image loader knows; the orientation comes from
  // the picture's EXIF data (Up without).
  static Result<Picture> decode(const Bytes& data);
  static Result<Picture> readFile(const std::filesystem::path& path);

  // The bitmap's size in pixels.
  int pixelWidth() const;
  int pixelHeight() const;
  bool hasAlpha() const;
  PictureOrientation orientation() const { return orientation_; }
  // The size as seen: the bitmap's with the sides exchanged for the quarter-turn orientations.
  ui::Size size() const;

  // A new upright picture of `canvas` (sides rounded up to whole pixels), this picture's upright
  // form drawn stretched into `rect` of it; what `rect` leaves uncovered stays transparent (black
  // without alpha). An error when the canvas is empty or larger than the bound.
  Result<Picture> drawnInto(ui::Size canvas, ui::Rect rect) const;
  // The bitmap turned by a multiple of a quarter turn (clockwise for positive `quarterTurns`)
  // and then stretched to `size`: the redraw of an orientation, marked upright.
  Result<Picture> turned(int quarterTurns, ui::Size size) const;

  // Encodings of the picture as seen (upright: the encoders write no orientation): JPEG at a
  // quality from 0 to 1, and PNG.
  Result<Bytes> jpegData(double quality) const;
  Result<Bytes> pngData() const;

  // The bitmap's pixel as 0xRRGGBBAA (alpha FF without an alpha channel); 0 outside.
  uint32_t pixel(int x, int y) const;

  struct Bitmap;

 private:
  Picture(std::shared_ptr<const Bitmap> bitmap, PictureOrientation orientation)
      : bitmap_(std::move(bitmap)), orientation_(orientation) {}

  std::shared_ptr<const Bitmap> bitmap_;
  PictureOrientation orientation_;
};

}  // namespace platform::media
