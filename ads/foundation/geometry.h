#pragma once

// Rectangles between the forms the ads engine exchanges: the compact dictionary of request
// parameters, the SDK-core dictionary of the page and creatives, and screen rectangles in the
// current interface orientation (1 portrait, 2 upside down, 3 and 4 landscape).

#include <cstdint>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/ui/geometry.h"

using ZADRect = platform::ui::Rect;

// The rectangle with non-negative width and height.
ZADRect ZADStandardizedRect(const ZADRect& rect);

// {"x", "y", "w", "h"} of the standardized rectangle.
platform::Dictionary ZADCompactDictionaryFromCGRect(const ZADRect& rect);
// {"x", "y", "width", "height"} of the rectangle as given.
platform::Dictionary ZADSDKCoreDictionaryFromRect(const ZADRect& rect);
// The rectangle when all four keys hold numbers; else the error "cg_rect_conversion" 1
// "Invalid SDK Core rectangle <dictionary>." (never a partial rectangle).
platform::Result<ZADRect> ZADRectFromSDKCoreDictionary(const platform::Value& dictionary);

// Systems from 8.0 on report screen geometry in the current orientation already; before, it was
// in portrait terms and these convert it.
ZADRect ZADRectInStatusBarOrientation(const ZADRect& rect);
ZADRect ZADRectConvertedToOrientation(int64_t orientation, const ZADRect& rect,
                                      const ZADRect& referenceBounds);
// The conversion itself, from portrait terms into the orientation against the reference bounds.
ZADRect ZADRectRotatedFromPortrait(int64_t orientation, const ZADRect& rect,
                                   const ZADRect& referenceBounds);
