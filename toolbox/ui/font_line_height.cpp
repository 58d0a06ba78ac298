#include "toolbox/ui/font_line_height.h"

#include "toolbox/ui/text_layout.h"

namespace {

// Measures on a throw-away 1 x 1 surface: no display needed.
template <typename Measure>
double measured(const ZTMFont& font, const std::string& text, Measure measure) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(surface);
  double value = 0;
  {
    ZTMTextLayout layout(cr, font, text);
    value = measure(layout);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return value;
}

}  // namespace

double ztm_lineHeight(const ZTMFont& font) {
  return measured(font, "Fake line with gjy", [](const ZTMTextLayout& l) { return l.height(); });
}

double ztm_textWidth(const ZTMFont& font, const std::string& text) {
  return measured(font, text, [](const ZTMTextLayout& l) { return l.width(); });
}
