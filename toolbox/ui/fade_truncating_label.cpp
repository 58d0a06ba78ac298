#include "toolbox/ui/fade_truncating_label.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/gtk/cairo_image.h"
#include "toolbox/ui/text_layout.h"

using platform::ui::Image;
using platform::ui::Rect;

ZSDK_ZTMFadeTruncatingLabel::ZSDK_ZTMFadeTruncatingLabel(Rect frame) : Label(frame) {
  setClipsToBounds(true);
  setBackgroundColor(platform::ui::Color::clear());
}

Image ZSDK_ZTMFadeTruncatingLabel::getLinearGradient(const Rect& rect, bool fadeHead,
                                                     bool fadeTail) {
  const int width = static_cast<int>(rect.size.width);
  const int height = static_cast<int>(rect.size.height);
  cairo_surface_t* bitmap =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 0), std::max(height, 0));
  cairo_t* cr = cairo_create(bitmap);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_fill(cr);
  const double fade = std::min(2 * rect.size.height, std::floor(rect.size.width / 4));
  const double minX = rect.origin.x;
  const double maxX = rect.origin.x + rect.size.width;
  auto drawGradient = [&](double fromX, double toX) {
    // White keeps the text, black hides it; nothing is drawn past the gradient's ends.
    cairo_pattern_t* gradient = cairo_pattern_create_linear(fromX, 0, toX, 0);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0, 0, 0);
    cairo_set_source(cr, gradient);
    cairo_rectangle(cr, std::min(fromX, toX), rect.origin.y, std::fabs(toX - fromX),
                    rect.size.height);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
  };
  if (fadeTail) drawGradient(maxX - fade, maxX);
  if (fadeHead) drawGradient(minX + fade, minX);
  cairo_destroy(cr);
  Image mask = platform::ui::gtk::imageFromSurface(bitmap);
  cairo_surface_destroy(bitmap);
  return mask;
}

std::optional<Image> ZSDK_ZTMFadeTruncatingLabel::maskForRect(const Rect& rect) const {
  if (font_.family.empty() || font_.pointSize <= 0) return std::nullopt;
  const double textWidth = std::ceil(ztm_textWidth(font_, text()));
  if (textWidth <= rect.size.width) return std::nullopt;
  return getLinearGradient(rect, truncateMode_ & kTruncateHead, truncateMode_ & kTruncateTail);
}

Image ZSDK_ZTMFadeTruncatingLabel::drawTextInRect(const Rect& rect) const {
  const int width = static_cast<int>(bounds().size.width);
  const int height = static_cast<int>(bounds().size.height);
  cairo_surface_t* text =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 0), std::max(height, 0));
  cairo_t* cr = cairo_create(text);
  cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_clip(cr);
  if (!font_.family.empty() && font_.pointSize > 0) {
    const platform::ui::Color color = textColor();
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    ZTMTextLayout layout(cr, font_, this->text());
    double x = rect.origin.x;
    if (textAlignment() == platform::ui::TextAlignment::Center) {
      x += (rect.size.width - layout.width()) / 2;
    } else if (textAlignment() == platform::ui::TextAlignment::Right) {
      x += rect.size.width - layout.width();
    }
    // When the text is too wide it starts at the rectangle's start, whatever the alignment.
    if (layout.width() > rect.size.width) x = rect.origin.x;
    cairo_move_to(cr, x, rect.origin.y + (rect.size.height - layout.height()) / 2);
    pango_cairo_show_layout(cr, layout.layout());
  }
  cairo_destroy(cr);
  Image drawn = platform::ui::gtk::imageFromSurface(text);
  cairo_surface_destroy(text);
  if (std::optional<Image> mask = maskForRect(rect)) {
    // The mask's grey level scales each pixel's alpha.
    for (int y = 0; y < drawn.height && y < mask->height; ++y) {
      for (int x = 0; x < drawn.width && x < mask->width; ++x) {
        uint8_t& alpha = drawn.rgba[(static_cast<size_t>(y) * drawn.width + x) * 4 + 3];
        const uint8_t grey = mask->rgba[(static_cast<size_t>(y) * mask->width + x) * 4];
        alpha = static_cast<uint8_t>(alpha * grey / 255);
      }
    }
  }
  return drawn;
}
