#include "ads/foundation/geometry.h"

#include "ads/foundation/device.h"
#include "ads/foundation/string_additions.h"
#include "platform/ui/screen.h"

ZADRect ZADStandardizedRect(const ZADRect& rect) {
  ZADRect standardized = rect;
  if (standardized.size.width < 0) {
    standardized.origin.x += standardized.size.width;
    standardized.size.width = -standardized.size.width;
  }
  if (standardized.size.height < 0) {
    standardized.origin.y += standardized.size.height;
    standardized.size.height = -standardized.size.height;
  }
  return standardized;
}

platform::Dictionary ZADCompactDictionaryFromCGRect(const ZADRect& rect) {
  const ZADRect r = ZADStandardizedRect(rect);
  return {{"x", r.x()}, {"y", r.y()}, {"w", r.width()}, {"h", r.height()}};
}

platform::Dictionary ZADSDKCoreDictionaryFromRect(const ZADRect& rect) {
  return {{"x", rect.x()}, {"y", rect.y()}, {"width", rect.width()}, {"height", rect.height()}};
}

platform::Result<ZADRect> ZADRectFromSDKCoreDictionary(const platform::Value& dictionary) {
  if (const platform::Dictionary* d = dictionary.dictionaryIf()) {
    const platform::Value* x = zad_objectForKey(*d, "x", &platform::Value::isNumber);
    const platform::Value* y = zad_objectForKey(*d, "y", &platform::Value::isNumber);
    const platform::Value* width = zad_objectForKey(*d, "width", &platform::Value::isNumber);
    const platform::Value* height = zad_objectForKey(*d, "height", &platform::Value::isNumber);
    if (x && y && width && height) {
      return ZADRect(x->doubleOr(0), y->doubleOr(0), width->doubleOr(0), height->doubleOr(0));
    }
  }
  return platform::Error::withDescription(
      "cg_rect_conversion", 1,
      "Invalid SDK Core rectangle " + platform::describe(dictionary) + ".");
}

ZADRect ZADRectInStatusBarOrientation(const ZADRect& rect) {
  ZADDevice& device = ZADDevice::sharedInstance();
  if (device.isOSAtLeast(8, 0, 0)) return rect;
  return ZADRectRotatedFromPortrait(device.statusBarOrientation(), rect,
                                    platform::ui::Screen::main().bounds());
}

ZADRect ZADRectConvertedToOrientation(int64_t orientation, const ZADRect& rect,
                                      const ZADRect& referenceBounds) {
  if (ZADDevice::sharedInstance().isOSAtLeast(8, 0, 0)) return rect;
  return ZADRectRotatedFromPortrait(orientation, rect, referenceBounds);
}

ZADRect ZADRectRotatedFromPortrait(int64_t orientation, const ZADRect& rect,
                                   const ZADRect& referenceBounds) {
  const ZADRect r = ZADStandardizedRect(rect);
  const double top = r.y();
  const double bottom = referenceBounds.height() - r.maxY();
  const double left = r.x();
  const double right = referenceBounds.width() - r.maxX();
  switch (orientation) {
    case 2:
      return ZADRect(right, bottom, r.width(), r.height());
    case 3:
      return ZADRect(top, right, r.height(), r.width());
    case 4:
      return ZADRect(bottom, left, r.height(), r.width());
    default:
      return rect;
  }
}
