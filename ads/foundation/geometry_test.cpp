#include "ads/foundation/geometry.h"

#include <gtest/gtest.h>

namespace {

using platform::Dictionary;
using platform::Value;

TEST(ZADGeometryTest, DictionaryForms) {
  EXPECT_EQ(ZADCompactDictionaryFromCGRect(ZADRect(10, 20, -5, 8)),
            Dictionary({{"x", 5.0}, {"y", 20.0}, {"w", 5.0}, {"h", 8.0}}));
  EXPECT_EQ(ZADSDKCoreDictionaryFromRect(ZADRect(10, 20, -5, 8)),
            Dictionary({{"x", 10.0}, {"y", 20.0}, {"width", -5.0}, {"height", 8.0}}));

  auto rect = ZADRectFromSDKCoreDictionary(
      Value::dictionary({{"x", 1}, {"y", 2.5}, {"width", 3}, {"height", 4}}));
  ASSERT_TRUE(rect.ok());
  EXPECT_EQ(*rect, ZADRect(1, 2.5, 3, 4));

  const Value invalid[] = {
      Value::dictionary({{"x", 1}, {"y", 2}, {"width", 3}}),
      Value::dictionary({{"x", 1}, {"y", 2}, {"width", "3"}, {"height", 4}}),
      Value("not a dictionary"),
  };
  for (const Value& dictionary : invalid) {
    auto failed = ZADRectFromSDKCoreDictionary(dictionary);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().domain(), "cg_rect_conversion");
    EXPECT_EQ(failed.error().code(), 1);
    EXPECT_EQ(failed.error().localizedDescription(),
              "Invalid SDK Core rectangle " + platform::describe(dictionary) + ".");
    EXPECT_EQ(failed.valueOr(ZADRect(9, 9, 9, 9)), ZADRect(9, 9, 9, 9));
  }
}

TEST(ZADGeometryTest, RotationFromPortraitTerms) {
  const ZADRect screen(0, 0, 320, 480);
  const ZADRect banner(0, 0, 320, 50);
  EXPECT_EQ(ZADRectRotatedFromPortrait(2, banner, screen), ZADRect(0, 430, 320, 50));
  EXPECT_EQ(ZADRectRotatedFromPortrait(3, banner, screen), ZADRect(0, 0, 50, 320));
  EXPECT_EQ(ZADRectRotatedFromPortrait(4, banner, screen), ZADRect(430, 0, 50, 320));
  EXPECT_EQ(ZADRectRotatedFromPortrait(1, banner, screen), banner);
  EXPECT_EQ(ZADRectRotatedFromPortrait(7, banner, screen), banner);
  // This system reports geometry in the current orientation already.
  EXPECT_EQ(ZADRectConvertedToOrientation(3, banner, screen), banner);
  EXPECT_EQ(ZADRectInStatusBarOrientation(banner), banner);
}

}  // namespace
