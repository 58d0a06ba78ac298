#include "toolbox/ui/text_layout.h"

ZTMTextLayout::ZTMTextLayout(cairo_t* cr, const ZTMFont& font, const std::string& text)
    : layout_(pango_cairo_create_layout(cr)) {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, font.family.c_str());
  pango_font_description_set_absolute_size(description, font.pointSize * PANGO_SCALE);
  pango_layout_set_font_description(layout_, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
}

ZTMTextLayout::~ZTMTextLayout() { g_object_unref(layout_); }

double ZTMTextLayout::width() const {
  PangoRectangle logical{};
  pango_layout_get_extents(layout_, nullptr, &logical);
  return static_cast<double>(logical.width) / PANGO_SCALE;
}

double ZTMTextLayout::height() const {
  PangoRectangle logical{};
  pango_layout_get_extents(layout_, nullptr, &logical);
  return static_cast<double>(logical.height) / PANGO_SCALE;
}
