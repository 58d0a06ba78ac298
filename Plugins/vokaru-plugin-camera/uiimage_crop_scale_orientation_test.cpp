#include "Plugins/vokaru-plugin-camera/uiimage_crop_scale_orientation.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::media::Picture;
using platform::media::PictureOrientation;
using platform::ui::Rect;
using platform::ui::Size;

void expectRect(const Rect& actual, const Rect& expected) {
  EXPECT_NEAR(actual.x(), expected.x(), 0.01);
  EXPECT_NEAR(actual.y(), expected.y(), 0.01);
  EXPECT_NEAR(actual.width(), expected.width(), 0.01);
  EXPECT_NEAR(actual.height(), expected.height(), 0.01);
}

TEST(CropScaleOrientationTest, DrawingsFillOrFitTheTarget) {
  struct Case {
    Size image, target;
    bool crop;
    Size canvas;
    Rect rect;
  };
  const Case cases[] = {
      {{4000, 3000}, {1000, 1000}, true, {1000, 1000}, {-166.67, 0, 1333.33, 1000}},
      {{3000, 4000}, {1000, 1000}, true, {1000, 1000}, {0, -166.67, 1000, 1333.33}},
      {{1000, 1000}, {500, 250}, true, {500, 250}, {0, -125, 500, 500}},
      {{640, 480}, {320, 240}, true, {320, 240}, {0, 0, 320, 240}},
      {{640, 480}, {640, 480}, true, {640, 480}, {0, 0, 640, 480}},
      {{4000, 3000}, {1000, 1000}, false, {1000, 750}, {0, 0, 1000, 750}},
      {{3000, 4000}, {1000, 1000}, false, {750, 1000}, {0, 0, 750, 1000}},
      {{1000, 1000}, {333.7, 333.7}, false, {333, 333}, {0, 0, 333, 333}},
      {{100, 50}, {1000, 1000}, false, {1000, 500}, {0, 0, 1000, 500}},  // scaled up
      {{640, 480}, {640, 480}, false, {640, 480}, {0, 0, 640, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.image.width) + "x" + std::to_string(c.image.height) + " to " +
                 std::to_string(c.target.width) + (c.crop ? " cropped" : " fitted"));
    const VKRImageDrawing d = c.crop ? scalingAndCroppingDrawing(c.image, c.target)
                                     : scalingNotCroppingDrawing(c.image, c.target);
    EXPECT_EQ(d.canvas, c.canvas);
    expectRect(d.rect, c.rect);
  }
}

TEST(CropScaleOrientationTest, HugeTargetsAreBoundedKeepingTheirAspect) {
  EXPECT_EQ(boundedTargetSize({1000, 750}), (Size{1000, 750}));
  for (Size target : {Size{1e6, 1e6}, Size{1e8, 1e6}, Size{20000, 10000}, Size{1e9, 10}}) {
    const Size bounded = boundedTargetSize(target);
    EXPECT_LE(bounded.width * bounded.height, Picture::kMaxPixels);
    EXPECT_LE(std::max(bounded.width, bounded.height), Picture::kMaxSide);
    EXPECT_GE(std::min(bounded.width, bounded.height), 1);
    if (std::min(bounded.width, bounded.height) >= 100) {
      EXPECT_NEAR(bounded.width / bounded.height, target.width / target.height,
                  target.width / target.height * 0.01);
    }
  }
}

// A picture whose left half is red and right half blue, 8 x 4.
Picture halves(PictureOrientation orientation = PictureOrientation::Up) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool left = x < 4;
      for (uint8_t v :
           {uint8_t(left ? 255 : 0), uint8_t(0), uint8_t(left ? 0 : 255), uint8_t(255)}) {
        rgba.push_back(v);
      }
    }
  }
  return *Picture::fromRGBA(8, 4, rgba.data(), orientation);
}

TEST(CropScaleOrientationTest, ScaledPicturesHaveTheDrawingsPixels) {
  std::optional<Picture> cropped = imageByScalingAndCroppingForSize(halves(), {2, 2});
  ASSERT_TRUE(cropped);
  EXPECT_EQ(cropped->pixelWidth(), 2);
  EXPECT_EQ(cropped->pixel(0, 0), 0xff0000ffu);  // the middle: red, then blue
  EXPECT_EQ(cropped->pixel(1, 1), 0x0000ffffu);
  std::optional<Picture> fitted = imageByScalingNotCroppingForSize(halves(), {4, 4});
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->size(), (Size{4, 2}));
  EXPECT_EQ(fitted->pixel(0, 1), 0xff0000ffu);
  EXPECT_EQ(fitted->pixel(3, 0), 0x0000ffffu);
  // The same size is redrawn, not handed back.
  std::optional<Picture> same = imageByScalingNotCroppingForSize(halves(), {8, 4});
  ASSERT_TRUE(same);
  EXPECT_EQ(same->pixel(7, 3), 0x0000ffffu);
}

TEST(CropScaleOrientationTest, UprightRedrawTurnsByTheOrientation) {
  struct Case {
    PictureOrientation orientation;
    Size size;
    uint32_t topLeft, bottomRight;
  };
  using O = PictureOrientation;
  const uint32_t red = 0xff0000ff, blue = 0x0000ffff;
  const Case cases[] = {
      {O::Up, {8, 4}, red, blue},    {O::Down, {8, 4}, blue, red},
      {O::Right, {4, 8}, red, blue},  // a quarter turn clockwise: red on top
      {O::Left, {4, 8}, blue, red},  {O::UpMirrored, {8, 4}, red, blue},  // not turned
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.orientation));
    const Picture upright = imageCorrectedForCaptureOrientation(halves(c.orientation));
    EXPECT_EQ(upright.orientation(), O::Up);
    EXPECT_EQ(upright.size(), c.size);
    EXPECT_EQ(upright.pixel(0, 0), c.topLeft);
    EXPECT_EQ(
        upright.pixel(static_cast<int>(c.size.width) - 1, static_cast<int>(c.size.height) - 1),
        c.bottomRight);
  }
  // An orientation given explicitly wins over the picture's own.
  const Picture turned = imageCorrectedForCaptureOrientation(halves(O::Down), O::Up);
  EXPECT_EQ(turned.pixel(0, 0), red);
}

}  // namespace
