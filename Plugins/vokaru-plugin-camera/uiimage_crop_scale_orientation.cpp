#include "Plugins/vokaru-plugin-camera/uiimage_crop_scale_orientation.h"

#include <cmath>
#include <cstdint>

#include "platform/foundation/log.h"

using platform::media::Picture;
using platform::media::PictureOrientation;
using platform::ui::Rect;
using platform::ui::Size;

Size boundedTargetSize(Size target) {
  const double width = std::ceil(target.width);
  const double height = std::ceil(target.height);
  double factor = 1;
  if (width * height > Picture::kMaxPixels) {
    factor = std::sqrt(Picture::kMaxPixels / (width * height));
  }
  factor = std::min({factor, Picture::kMaxSide / std::max(width, 1.0),
                     Picture::kMaxSide / std::max(height, 1.0)});
  if (factor >= 1) return target;
  return {std::max(1.0, std::floor(target.width * factor)),
          std::max(1.0, std::floor(target.height * factor))};
}

VKRImageDrawing scalingAndCroppingDrawing(Size image, Size target) {
  if (image == target) return {target, Rect({0, 0}, target)};
  const double widthFactor = target.width / image.width;
  const double heightFactor = target.height / image.height;
  const double scale = widthFactor > heightFactor ? widthFactor : heightFactor;
  const Size scaled{image.width * scale, image.height * scale};
  double x = 0, y = 0;
  if (widthFactor > heightFactor) {
    y = (target.height - scaled.height) * 0.5;
  } else if (widthFactor < heightFactor) {
    x = (target.width - scaled.width) * 0.5;
  }
  return {target, Rect({x, y}, scaled)};
}

VKRImageDrawing scalingNotCroppingDrawing(Size image, Size target) {
  Size scaled = target;
  if (image != target) {
    const double widthFactor = target.width / image.width;
    const double heightFactor = target.height / image.height;
    const double scale = widthFactor > heightFactor ? heightFactor : widthFactor;
    scaled = {std::min(image.width * scale, target.width),
              std::min(image.height * scale, target.height)};
  }
  scaled = {static_cast<double>(static_cast<int32_t>(scaled.width)),
            static_cast<double>(static_cast<int32_t>(scaled.height))};
  return {scaled, Rect({0, 0}, scaled)};
}

namespace {

std::optional<Picture> draw(const Picture& image, const VKRImageDrawing& drawing) {
  platform::Result<Picture> drawn = image.drawnInto(drawing.canvas, drawing.rect);
  if (!drawn) {
    platform::log("could not scale image");
    return std::nullopt;
  }
  return *drawn;
}

}  // namespace

std::optional<Picture> imageByScalingAndCroppingForSize(const Picture& image, Size target) {
  return draw(image, scalingAndCroppingDrawing(image.size(), boundedTargetSize(target)));
}

std::optional<Picture> imageByScalingNotCroppingForSize(const Picture& image, Size target) {
  return draw(image, scalingNotCroppingDrawing(image.size(), boundedTargetSize(target)));
}

Picture imageCorrectedForCaptureOrientation(const Picture& image, PictureOrientation orientation) {
  // The rotation the redraw makes, as clockwise quarter turns of the bitmap; only the quarter
  // turns exchange the drawing's sides, which the canvas of the picture's own size then holds.
  int quarterTurns = 0;
  switch (orientation) {
    case PictureOrientation::Down:
      quarterTurns = 2;
      break;
    case PictureOrientation::Left:
      quarterTurns = -1;
      break;
    case PictureOrientation::Right:
      quarterTurns = 1;
      break;
    default:
      break;
  }
  platform::Result<Picture> upright = image.turned(quarterTurns, image.size());
  return upright ? *upright : image;
}

Picture imageCorrectedForCaptureOrientation(const Picture& image) {
  return imageCorrectedForCaptureOrientation(image, image.orientation());
}
