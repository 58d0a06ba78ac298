#pragma once

#include <optional>

#include "platform/ui/geometry.h"
#include "platform/ui/image.h"

// Where a resized image is drawn and on what canvas, both made integral.
struct ZTMResizeGeometry {
  platform::ui::Rect drawRect;
  platform::ui::Size canvas;
};

// The geometry of a resize to `target`: stretched, or with the aspect ratio kept, either trimmed
// to fill the target (the overflowing sides cut off) or shrunk to fit it (the canvas then takes
// the image's shape). Nothing when the image or the target has a side below 1.
std::optional<ZTMResizeGeometry> ztm_resizeGeometry(platform::ui::Size imageSize,
                                                    platform::ui::Size target,
                                                    bool preserveAspectRatio, bool trimToFit);
// The image drawn by that geometry on a transparent canvas.
std::optional<platform::ui::Image> ztm_imageByResizingToSize(const platform::ui::Image& image,
                                                             platform::ui::Size target,
                                                             bool preserveAspectRatio,
                                                             bool trimToFit);

// Image orientations: the way the stored pixels must turn to stand upright.
enum ZTMImageOrientation : int {
  kZTMImageOrientationUp = 0,
  kZTMImageOrientationDown = 1,
  kZTMImageOrientationLeft = 2,
  kZTMImageOrientationRight = 3,
  kZTMImageOrientationUpMirrored = 4,
  kZTMImageOrientationDownMirrored = 5,
  kZTMImageOrientationLeftMirrored = 6,
  kZTMImageOrientationRightMirrored = 7,
};

// The image turned upright from the orientation (width and height swap for the left and right
// forms). An orientation above 7 is a programming error ("Invalid orientation %zd"): nothing.
std::optional<platform::ui::Image> ztm_imageByRotating(const platform::ui::Image& image,
                                                       int orientation);
