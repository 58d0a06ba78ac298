#include "platform/media/picture.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/testing/png.h"

namespace platform::media {
namespace {

constexpr uint32_t kRed = 0xff0000ff, kGreen = 0x00ff00ff, kBlue = 0x0000ffff, kWhite = 0xffffffff;

// A 4 x 2 bitmap: red and green on the top row's halves, blue and white below.
Picture quadrants(PictureOrientation orientation) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint32_t c = y == 0 ? (x < 2 ? kRed : kGreen) : (x < 2 ? kBlue : kWhite);
      for (int shift : {24, 16, 8, 0}) rgba.push_back(static_cast<uint8_t>(c >> shift));
    }
  }
  return *Picture::fromRGBA(4, 2, rgba.data(), orientation);
}

std::vector<uint32_t> corners(const Picture& p) {
  const int r = p.pixelWidth() - 1, b = p.pixelHeight() - 1;
  return {p.pixel(0, 0), p.pixel(r, 0), p.pixel(0, b), p.pixel(r, b)};
}

TEST(PictureTest, DrawingShowsThePictureUprightForEveryOrientation) {
  struct Case {
    PictureOrientation orientation;
    ui::Size size;
    std::vector<uint32_t> corners;  // top left, top right, bottom left, bottom right
  };
  using O = PictureOrientation;
  const Case cases[] = {
      {O::Up, {4, 2}, {kRed, kGreen, kBlue, kWhite}},
      {O::Down, {4, 2}, {kWhite, kBlue, kGreen, kRed}},
      {O::Left, {2, 4}, {kGreen, kWhite, kRed, kBlue}},
      {O::Right, {2, 4}, {kBlue, kRed, kWhite, kGreen}},
      {O::UpMirrored, {4, 2}, {kGreen, kRed, kWhite, kBlue}},
      {O::DownMirrored, {4, 2}, {kBlue, kWhite, kRed, kGreen}},
      {O::LeftMirrored, {2, 4}, {kRed, kBlue, kGreen, kWhite}},
      {O::RightMirrored, {2, 4}, {kWhite, kGreen, kBlue, kRed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.orientation));
    const Picture picture = quadrants(c.orientation);
    EXPECT_EQ(picture.size(), c.size);
    Result<Picture> drawn = picture.drawnInto(c.size, ui::Rect({0, 0}, c.size));
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->orientation(), O::Up);
    EXPECT_EQ(corners(*drawn), c.corners);
  }
}

TEST(PictureTest, DrawingScalesAndOffsetsIntoTheCanvas) {
  const Picture picture = quadrants(PictureOrientation::Up);
  // The middle two columns, each one pixel.
  Result<Picture> middle = picture.drawnInto({2, 2}, ui::Rect(-1, 0, 4, 2));
  ASSERT_TRUE(middle);
  EXPECT_EQ(corners(*middle), (std::vector<uint32_t>{kRed, kGreen, kBlue, kWhite}));
  // Doubled into a canvas with a fractional side (rounded up); what the drawing leaves is clear.
  Result<Picture> doubled = picture.drawnInto({8, 4.5}, ui::Rect(0, 0, 8, 4));
  ASSERT_TRUE(doubled);
  EXPECT_EQ(doubled->pixelWidth(), 8);
  EXPECT_EQ(doubled->pixelHeight(), 5);
  EXPECT_EQ(doubled->pixel(0, 0), kRed);
  EXPECT_EQ(doubled->pixel(7, 3), kWhite);
  EXPECT_EQ(doubled->pixel(3, 4), 0u);
}

TEST(PictureTest, TurningRotatesTheBitmapByQuarterTurns) {
  const Picture picture = quadrants(PictureOrientation::Right);
  Result<Picture> clockwise = picture.turned(1, {2, 4});
  ASSERT_TRUE(clockwise);
  EXPECT_EQ(clockwise->orientation(), PictureOrientation::Up);
  EXPECT_EQ(corners(*clockwise), (std::vector<uint32_t>{kBlue, kRed, kWhite, kGreen}));
  Result<Picture> half = picture.turned(2, {4, 2});
  ASSERT_TRUE(half);
  EXPECT_EQ(corners(*half), (std::vector<uint32_t>{kWhite, kBlue, kGreen, kRed}));
}

TEST(PictureTest, EncodingsDecodeAgain) {
  const Picture picture = quadrants(PictureOrientation::Up);
  Result<Bytes> png = picture.pngData();
  ASSERT_TRUE(png);
  Result<Picture> fromPNG = Picture::decode(*png);
  ASSERT_TRUE(fromPNG);
  EXPECT_EQ(corners(*fromPNG), corners(picture));

  Result<Picture> large = picture.drawnInto({400, 200}, ui::Rect(0, 0, 400, 200));
  ASSERT_TRUE(large);
  Result<Bytes> best = large->jpegData(1.0);
  Result<Bytes> poor = large->jpegData(0.1);
  ASSERT_TRUE(best && poor);
  EXPECT_LT(poor->size(), best->size());
  Result<Picture> fromJPEG = Picture::decode(*best);
  ASSERT_TRUE(fromJPEG);
  EXPECT_EQ(fromJPEG->pixelWidth(), 400);
  EXPECT_FALSE(fromJPEG->hasAlpha());
  EXPECT_EQ(fromJPEG->pixel(10, 10) & 0xf0f0f0ff, kRed & 0xf0f0f0ff);
}

// The JPEG with an EXIF segment giving the orientation tag, as cameras write it.
Bytes withExifOrientation(Bytes jpeg, uint8_t tag) {
  const uint8_t exif[] = {'E',  'x',  'i',  'f', 0, 0,        // identifier
                          'I',  'I',  0x2a, 0,   8, 0, 0, 0,  // little-endian TIFF, IFD at 8
                          1,    0,                            // one entry:
                          0x12, 0x01, 3,    0,   1, 0, 0, 0, tag, 0, 0, 0,  // orientation, short
                          0,    0,    0,    0};                             // no next IFD
  Bytes segment = {0xff, 0xe1, 0, static_cast<uint8_t>(sizeof exif + 2)};
  segment.insert(segment.end(), std::begin(exif), std::end(exif));
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());  // after the start marker
  return jpeg;
}

TEST(PictureTest, DecodedPicturesTakeTheirOrientationFromEXIF) {
  Result<Picture> wide =
      quadrants(PictureOrientation::Up).drawnInto({40, 20}, ui::Rect(0, 0, 40, 20));
  ASSERT_TRUE(wide);
  Result<Bytes> jpeg = wide->jpegData(1.0);
  ASSERT_TRUE(jpeg);
  struct Case {
    uint8_t tag;
    PictureOrientation orientation;
  };
  for (const Case& c : {Case{1, PictureOrientation::Up}, Case{3, PictureOrientation::Down},
                        Case{6, PictureOrientation::Right}, Case{8, PictureOrientation::Left},
                        Case{5, PictureOrientation::LeftMirrored}}) {
    SCOPED_TRACE(c.tag);
    Result<Picture> decoded = Picture::decode(withExifOrientation(*jpeg, c.tag));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->orientation(), c.orientation);
    EXPECT_EQ(decoded->pixelWidth(), 40);  // the bitmap as stored
  }
  Result<Picture> right = Picture::decode(withExifOrientation(*jpeg, 6));
  EXPECT_EQ(right->size(), (ui::Size{20, 40}));
  // Encoded as seen: upright, the bitmap turned.
  Result<Picture> again = Picture::decode(*right->jpegData(1.0));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->orientation(), PictureOrientation::Up);
  EXPECT_EQ(again->pixelWidth(), 20);
  EXPECT_EQ(again->pixel(15, 5) & 0xf0f0f0ff, kRed & 0xf0f0f0ff);  // the red corner, turned
}

TEST(PictureTest, UndecodableAndOversizedPicturesAreErrors) {
  for (const std::string& data :
       {std::string(), std::string("not a picture"), platform::testing::pngOf(20000, 1, kRed),
        platform::testing::pngOf(16, 16, kRed).substr(0, 40)}) {
    Result<Picture> picture = Picture::decode(bytesOf(data));
    ASSERT_FALSE(picture);
    EXPECT_EQ(picture.error().domain(), kPictureErrorDomain);
    EXPECT_EQ(picture.error().code(), kPictureUndecodable);
  }
  EXPECT_FALSE(Picture::readFile("/nonexistent/picture.png"));
  const Picture picture = quadrants(PictureOrientation::Up);
  EXPECT_FALSE(picture.drawnInto({100000, 100000}, ui::Rect(0, 0, 1, 1)));
  EXPECT_FALSE(picture.drawnInto({0, 10}, ui::Rect(0, 0, 1, 1)));
}

}  // namespace
}  // namespace platform::media
