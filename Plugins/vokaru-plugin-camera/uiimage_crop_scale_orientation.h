#pragma once

#include <optional>

#include "platform/media/picture.h"
#include "platform/ui/geometry.h"

// Additions to pictures that bring a picked picture to the page's requested size and draw it
// upright. Each returns a new picture; the receiver is not changed. Any thread.

// Where a picture of `image` size is drawn: the canvas and the rectangle in it.
struct VKRImageDrawing {
  platform::ui::Size canvas;
  platform::ui::Rect rect;
};

// A target whose canvas would be larger than a picture may be, shrunk (aspect kept) to fit.
platform::ui::Size boundedTargetSize(platform::ui::Size target);

// Exactly the target size, filled and centred, the overflow cut off.
VKRImageDrawing scalingAndCroppingDrawing(platform::ui::Size image, platform::ui::Size target);
// Inside the target size, aspect kept, sides truncated to whole points.
VKRImageDrawing scalingNotCroppingDrawing(platform::ui::Size image, platform::ui::Size target);

// Nothing (logged "could not scale image") when no picture results.
std::optional<platform::media::Picture> imageByScalingAndCroppingForSize(
    const platform::media::Picture& image, platform::ui::Size target);
std::optional<platform::media::Picture> imageByScalingNotCroppingForSize(
    const platform::media::Picture& image, platform::ui::Size target);

// The picture redrawn upright for the orientation (its own when none is given), at its size.
platform::media::Picture imageCorrectedForCaptureOrientation(
    const platform::media::Picture& image, platform::media::PictureOrientation orientation);
platform::media::Picture imageCorrectedForCaptureOrientation(const platform::media::Picture& image);
