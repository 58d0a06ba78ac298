#include "toolbox/ui/image_resize_additions.h"

#include <cairo.h>

#include <cmath>
#include <numbers>
#include <string>

#include "platform/foundation/assertion.h"
#include "platform/ui/gtk/cairo_image.h"

using platform::ui::Image;
using platform::ui::Rect;
using platform::ui::Size;

namespace {

Rect integral(const Rect& r) {
  const double minX = std::floor(r.origin.x);
  const double minY = std::floor(r.origin.y);
  return Rect(minX, minY, std::ceil(r.origin.x + r.size.width) - minX,
              std::ceil(r.origin.y + r.size.height) - minY);
}

// A transparent canvas; draw() paints on it; the pixels come back as an image.
template <typename Draw>
Image drawnImage(int width, int height, Draw draw) {
  cairo_surface_t* canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(canvas);
  draw(cr);
  cairo_destroy(cr);
  Image image = platform::ui::gtk::imageFromSurface(canvas);
  cairo_surface_destroy(canvas);
  return image;
}

}  // namespace

std::optional<ZTMResizeGeometry> ztm_resizeGeometry(Size imageSize, Size target,
                                                    bool preserveAspectRatio, bool trimToFit) {
  if (imageSize.width < 1 || imageSize.height < 1 || target.width < 1 || target.height < 1) {
    return std::nullopt;
  }
  Rect draw(0, 0, target.width, target.height);
  Rect canvas(0, 0, target.width, target.height);
  if (preserveAspectRatio) {
    const double aspect = imageSize.width / imageSize.height;
    const double targetAspect = target.width / target.height;
    if (trimToFit && targetAspect < aspect) {
      draw = Rect((target.width - aspect * target.height) / 2, 0, aspect * target.height,
                  target.height);
    } else if (trimToFit) {
      draw =
          Rect(0, (target.height - target.width / aspect) / 2, target.width, target.width / aspect);
    } else if (targetAspect < aspect) {
      draw = canvas = Rect(0, 0, target.width, target.width / aspect);
    } else {
      draw = canvas = Rect(0, 0, aspect * target.height, target.height);
    }
  }
  return ZTMResizeGeometry{integral(draw), integral(canvas).size};
}

std::optional<Image> ztm_imageByResizingToSize(const Image& image, Size target,
                                               bool preserveAspectRatio, bool trimToFit) {
  std::optional<ZTMResizeGeometry> geometry =
      ztm_resizeGeometry(Size{static_cast<double>(image.width), static_cast<double>(image.height)},
                         target, preserveAspectRatio, trimToFit);
  if (!geometry) return std::nullopt;
  const Rect& r = geometry->drawRect;
  return drawnImage(static_cast<int>(geometry->canvas.width),
                    static_cast<int>(geometry->canvas.height), [&](cairo_t* cr) {
                      cairo_surface_t* source = platform::ui::gtk::surfaceFromImage(image);
                      cairo_translate(cr, r.origin.x, r.origin.y);
                      cairo_scale(cr, r.size.width / image.width, r.size.height / image.height);
                      cairo_set_source_surface(cr, source, 0, 0);
                      cairo_paint(cr);
                      cairo_surface_destroy(source);
                    });
}

std::optional<Image> ztm_imageByRotating(const Image& image, int orientation) {
  if (orientation < 0 || orientation > 7) {
    platform::assertionFailure("Invalid orientation " + std::to_string(orientation));
    return std::nullopt;
  }
  if (orientation == kZTMImageOrientationUp) return image;
  const double w = image.width;
  const double h = image.height;
  const bool sideways = orientation == kZTMImageOrientationLeft ||
                        orientation == kZTMImageOrientationRight ||
                        orientation == kZTMImageOrientationLeftMirrored ||
                        orientation == kZTMImageOrientationRightMirrored;
  constexpr double pi = std::numbers::pi;
  return drawnImage(sideways ? image.height : image.width, sideways ? image.width : image.height,
                    [&](cairo_t* cr) {
                      // The canvas counts y upwards, as the turns below expect.
                      if (sideways) {
                        cairo_scale(cr, -1, 1);
                        cairo_translate(cr, -h, 0);
                      } else {
                        cairo_scale(cr, 1, -1);
                        cairo_translate(cr, 0, -h);
                      }
                      switch (orientation) {
                        case 1:
                          cairo_translate(cr, w, h);
                          cairo_rotate(cr, pi);
                          break;
                        case 2:
                          cairo_translate(cr, 0, w);
                          cairo_rotate(cr, -pi / 2);
                          break;
                        case 3:
                          cairo_translate(cr, h, 0);
                          cairo_rotate(cr, pi / 2);
                          break;
                        case 4:
                          cairo_translate(cr, w, 0);
                          cairo_scale(cr, -1, 1);
                          break;
                        case 5:
                          cairo_translate(cr, 0, h);
                          cairo_scale(cr, 1, -1);
                          break;
                        case 6:
                          cairo_translate(cr, h, w);
                          cairo_scale(cr, -1, 1);
                          cairo_rotate(cr, -pi / 2);
                          break;
                        case 7:
                          cairo_scale(cr, -1, 1);
                          cairo_rotate(cr, pi / 2);
                          break;
                      }
                      // The bitmap's top row goes to the top of its rectangle (y upwards).
                      cairo_translate(cr, 0, h);
                      cairo_scale(cr, 1, -1);
                      cairo_surface_t* source = platform::ui::gtk::surfaceFromImage(image);
                      cairo_set_source_surface(cr, source, 0, 0);
                      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
                      cairo_paint(cr);
                      cairo_surface_destroy(source);
                    });
}
