#include "platform/ui/image_file.h"

#include <gtest/gtest.h>

#include "platform/testing/png.h"
#include "platform/testing/temp_dir.h"

namespace platform::ui {
namespace {

void writePng(const std::filesystem::path& path, int width, int height, uint32_t rgba,
              bool alpha = true) {
  testing::writeFile(path, testing::pngOf(width, height, rgba, alpha));
}

TEST(ImageFileTest, DecodesIntoRGBA) {
  testing::TempDir dir;
  writePng(dir / "opaque.png", 3, 2, 0x11223300, false);
  Result<Image> image = readImageFile(dir / "opaque.png");
  ASSERT_TRUE(image.ok()) << image.error().description();
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->pixel(2, 1), 0x112233FFu);

  testing::writeFile(dir / "broken.png", "not an image");
  EXPECT_FALSE(readImageFile(dir / "broken.png").ok());
  EXPECT_FALSE(readImageFile(dir / "missing.png").ok());
}

TEST(ImageFileTest, FindsNamedImagesWithScaleVariants) {
  testing::TempDir dir;
  writePng(dir / "Plug.bundle/icon.png", 1, 1, 0);
  writePng(dir / "Plug.bundle/icon@2x.png", 2, 2, 0);
  writePng(dir / "Plug.bundle/photo.jpg.png", 1, 1, 0);
  EXPECT_EQ(findNamedImage(dir.path(), "Plug.bundle/icon", 2), dir / "Plug.bundle/icon@2x.png");
  EXPECT_EQ(findNamedImage(dir.path(), "Plug.bundle/icon", 1), dir / "Plug.bundle/icon.png");
  EXPECT_EQ(findNamedImage(dir.path(), "Plug.bundle/icon.png", 3), dir / "Plug.bundle/icon.png");
  EXPECT_EQ(findNamedImage(dir.path(), "Plug.bundle/none", 2), std::nullopt);
  EXPECT_EQ(findNamedImage(dir.path(), "../etc/passwd", 1), std::nullopt);
}

}  // namespace
}  // namespace platform::ui

namespace platform::ui {
namespace {

TEST(ImageDataTest, EncodesPNGAndDecodesItBack) {
  Image image;
  image.width = 2;
  image.height = 1;
  image.rgba = {255, 0, 0, 255, 0, 0, 255, 128};
  Result<Bytes> png = pngDataOfImage(image);
  ASSERT_TRUE(png.ok());
  Result<Image> decoded = decodeImageData(*png);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded->rgba, image.rgba);
  EXPECT_FALSE(decodeImageData(bytesOf("not an image")).ok());
  EXPECT_FALSE(decodeImageData({}).ok());
  EXPECT_FALSE(pngDataOfImage(Image()).ok());
}

}  // namespace
}  // namespace platform::ui
