#include <gtest/gtest.h>

#include "platform/testing/assertion_capture.h"
#include "toolbox/ui/fade_truncating_label.h"
#include "toolbox/ui/font_line_height.h"
#include "toolbox/ui/image_resize_additions.h"

namespace {

using platform::ui::Image;
using platform::ui::Rect;
using platform::ui::Size;

constexpr uint32_t kRed = 0xff0000ff;
constexpr uint32_t kGreen = 0x00ff00ff;
constexpr uint32_t kBlue = 0x0000ffff;
constexpr uint32_t kWhite = 0xffffffff;

// An image from rows of pixels, top row first.
Image imageOf(const std::vector<std::vector<uint32_t>>& rows) {
  Image image;
  image.height = static_cast<int>(rows.size());
  image.width = static_cast<int>(rows[0].size());
  for (const auto& row : rows) {
    for (uint32_t p : row) {
      image.rgba.insert(image.rgba.end(),
                        {static_cast<uint8_t>(p >> 24), static_cast<uint8_t>(p >> 16),
                         static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)});
    }
  }
  return image;
}

std::vector<std::vector<uint32_t>> rowsOf(const Image& image) {
  std::vector<std::vector<uint32_t>> rows(image.height);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) rows[y].push_back(image.pixel(x, y));
  }
  return rows;
}

TEST(ImageResizeTest, GeometryByAspectAndTrimming) {
  struct Case {
    Size image;
    Size target;
    bool preserve;
    bool trim;
    Rect draw;
    Size canvas;
  };
  for (const Case& c : std::vector<Case>{
           {{200, 100}, {50, 50}, true, true, Rect(-25, 0, 100, 50), {50, 50}},
           {{200, 100}, {50, 50}, true, false, Rect(0, 0, 50, 25), {50, 25}},
           {{100, 200}, {50, 50}, true, true, Rect(0, -25, 50, 100), {50, 50}},
           {{100, 200}, {50, 50}, true, false, Rect(0, 0, 25, 50), {25, 50}},
           {{200, 100}, {50, 50}, false, false, Rect(0, 0, 50, 50), {50, 50}},
           {{3, 1}, {10, 10}, true, false, Rect(0, 0, 10, 4), {10, 4}},  // 3.33 made integral
       }) {
    std::optional<ZTMResizeGeometry> geometry =
        ztm_resizeGeometry(c.image, c.target, c.preserve, c.trim);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->drawRect, c.draw) << c.image.width << "x" << c.image.height;
    EXPECT_EQ(geometry->canvas, c.canvas) << c.image.width << "x" << c.image.height;
  }
  EXPECT_FALSE(ztm_resizeGeometry({200, 100}, {0.5, 50}, true, true));
  EXPECT_FALSE(ztm_resizeGeometry({0, 100}, {50, 50}, true, true));
}

TEST(ImageResizeTest, TrimmingCutsTheSides) {
  // Four vertical bands: red, green, blue, white; trimmed to a square, the middle two remain.
  std::vector<std::vector<uint32_t>> rows(100);
  for (auto& row : rows) {
    for (uint32_t colour : {kRed, kGreen, kBlue, kWhite}) row.insert(row.end(), 50, colour);
  }
  std::optional<Image> square = ztm_imageByResizingToSize(imageOf(rows), {50, 50}, true, true);
  ASSERT_TRUE(square);
  EXPECT_EQ(square->width, 50);
  EXPECT_EQ(square->height, 50);
  EXPECT_EQ(square->pixel(10, 25), kGreen);
  EXPECT_EQ(square->pixel(40, 25), kBlue);
  std::optional<Image> fitted = ztm_imageByResizingToSize(imageOf(rows), {50, 50}, true, false);
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->width, 50);
  EXPECT_EQ(fitted->height, 25);
  EXPECT_EQ(fitted->pixel(2, 12), kRed);
  EXPECT_FALSE(ztm_imageByResizingToSize(imageOf(rows), {50, 0}, true, true));
}

TEST(ImageRotateTest, EachOrientationTurnsThePixelsUpright) {
  // a b c
  // d e f
  const uint32_t a = 0x010101ff, b = 0x020202ff, c = 0x030303ff, d = 0x040404ff, e = 0x050505ff,
                 f = 0x060606ff;
  const Image image = imageOf({{a, b, c}, {d, e, f}});
  using Rows = std::vector<std::vector<uint32_t>>;
  const std::vector<Rows> expected = {
      {{a, b, c}, {d, e, f}},    // up
      {{f, e, d}, {c, b, a}},    // down
      {{c, f}, {b, e}, {a, d}},  // left: turned a quarter anticlockwise
      {{d, a}, {e, b}, {f, c}},  // right: a quarter clockwise
      {{c, b, a}, {f, e, d}},    // up mirrored
      {{d, e, f}, {a, b, c}},    // down mirrored
      {{f, c}, {e, b}, {d, a}},  // left mirrored
      {{a, d}, {b, e}, {c, f}},  // right mirrored
  };
  for (int orientation = 0; orientation < 8; ++orientation) {
    std::optional<Image> turned = ztm_imageByRotating(image, orientation);
    ASSERT_TRUE(turned) << orientation;
    EXPECT_EQ(rowsOf(*turned), expected[orientation]) << orientation;
  }
  platform::testing::AssertionCapture assertions;
  EXPECT_FALSE(ztm_imageByRotating(image, 8));
  EXPECT_EQ(assertions.messages(), std::vector<std::string>{"Invalid orientation 8"});
}

TEST(FadeTruncatingLabelTest, TheMaskFadesOverTwiceTheHeightOrAQuarterOfTheWidth) {
  struct Case {
    Rect rect;
    bool head;
    bool tail;
    int fade;
  };
  for (const Case& c : std::vector<Case>{
           {Rect(0, 0, 100, 10), false, true, 20},
           {Rect(0, 0, 60, 40), false, true, 15},
           {Rect(0, 0, 100, 10), true, false, 20},
       }) {
    const Image mask = ZSDK_ZTMFadeTruncatingLabel::getLinearGradient(c.rect, c.head, c.tail);
    const int width = static_cast<int>(c.rect.size.width);
    ASSERT_EQ(mask.width, width);
    ASSERT_EQ(mask.height, static_cast<int>(c.rect.size.height));
    const int y = mask.height / 2;
    // White up to the fade, then darker towards the faded end.
    const int firstFaded = c.tail ? width - c.fade : c.fade - 1;
    const int lastKept = c.tail ? firstFaded - 1 : firstFaded + 1;
    EXPECT_EQ(mask.pixel(lastKept, y), kWhite) << c.rect.size.width;
    EXPECT_LT(mask.pixel(c.tail ? width - 1 : 0, y) >> 24, 0x10u) << c.rect.size.width;
    EXPECT_LT(mask.pixel(firstFaded + (c.tail ? 1 : -1), y) >> 24, 0xffu) << c.rect.size.width;
  }
  const Image both =
      ZSDK_ZTMFadeTruncatingLabel::getLinearGradient(Rect(0, 0, 100, 10), true, true);
  EXPECT_EQ(both.pixel(50, 5), kWhite);
  EXPECT_LT(both.pixel(0, 5) >> 24, 0x10u);
  EXPECT_LT(both.pixel(99, 5) >> 24, 0x10u);
}

TEST(FadeTruncatingLabelTest, OnlyTooWideTextIsMaskedAndOnlyAtTheEndsAskedFor) {
  ZSDK_ZTMFadeTruncatingLabel label(Rect(0, 0, 100, 20));
  EXPECT_EQ(label.truncateMode(), ZSDK_ZTMFadeTruncatingLabel::kTruncateTail);
  EXPECT_EQ(label.backgroundColor(), platform::ui::Color::clear());
  EXPECT_TRUE(label.clipsToBounds());
  label.setFont({"Sans", 12});
  label.setText("ok");
  EXPECT_FALSE(label.maskForRect(label.bounds()));

  label.setText("a text far too long to fit in one hundred points");
  std::optional<Image> tail = label.maskForRect(label.bounds());
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->pixel(0, 10), kWhite);
  EXPECT_NE(tail->pixel(99, 10), kWhite);

  label.setTruncateMode(ZSDK_ZTMFadeTruncatingLabel::kTruncateNone);
  std::optional<Image> none = label.maskForRect(label.bounds());
  ASSERT_TRUE(none);
  EXPECT_EQ(none->pixel(0, 10), kWhite);
  EXPECT_EQ(none->pixel(99, 10), kWhite);

  // Drawn through the tail mask, the last columns hold (almost) no ink.
  label.setTruncateMode(ZSDK_ZTMFadeTruncatingLabel::kTruncateTail);
  const Image drawn = label.drawTextInRect(label.bounds());
  ASSERT_EQ(drawn.width, 100);
  int inkAtStart = 0;
  int inkAtEnd = 0;
  for (int y = 0; y < drawn.height; ++y) {
    for (int x = 0; x < 10; ++x) inkAtStart += drawn.pixel(x, y) & 0xff;
    inkAtEnd += drawn.pixel(99, y) & 0xff;
  }
  EXPECT_GT(inkAtStart, 0);
  EXPECT_LT(inkAtEnd, 40);
}

TEST(FontLineHeightTest, GrowsWithTheFontSize) {
  const double small = ztm_lineHeight({"Sans", 10});
  const double large = ztm_lineHeight({"Sans", 20});
  EXPECT_GT(small, 10);
  EXPECT_GT(large, 1.8 * small);
  EXPECT_GT(ztm_textWidth({"Sans", 10}, "wide text"), ztm_textWidth({"Sans", 10}, "w"));
}

}  // namespace
