#pragma once

#include <string>

// A font by family name and size in points, as the toolbox measures text with it.
struct ZTMFont {
  std::string family = "Sans";
  double pointSize = 17;
};

// The height, in points, that the line "Fake line with gjy" takes in the font.
double ztm_lineHeight(const ZTMFont& font);
// The width, in points, of the text on one line in the font.
double ztm_textWidth(const ZTMFont& font, const std::string& text);
