#pragma once

#include <pango/pangocairo.h>

#include <string>

#include "toolbox/ui/font_line_height.h"

// A Pango layout of one text in one font on a cairo context; owns both.
class ZTMTextLayout {
 public:
  ZTMTextLayout(cairo_t* cr, const ZTMFont& font, const std::string& text);
  ~ZTMTextLayout();
  ZTMTextLayout(const ZTMTextLayout&) = delete;
  ZTMTextLayout& operator=(const ZTMTextLayout&) = delete;

  PangoLayout* layout() const { return layout_; }
  // The logical size in points.
  double width() const;
  double height() const;

 private:
  PangoLayout* layout_;
};
