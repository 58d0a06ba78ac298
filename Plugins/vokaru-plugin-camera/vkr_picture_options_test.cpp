#include "Plugins/vokaru-plugin-camera/vkr_picture_options.h"

#include <gtest/gtest.h>

namespace {

using platform::Value;

VKRPictureOptions optionsOf(Value::Array arguments) {
  return VKRPictureOptions::createFromTakePictureArguments(
      VKRInvokedUrlCommand(std::move(arguments), "Camera1", "Camera", "takePicture"));
}

TEST(VKRPictureOptionsTest, AbsentArgumentsTakeTheDefaults) {
  for (const Value::Array& arguments :
       {Value::Array{}, Value::Array(12, Value()), Value::Array{Value(), Value(), Value(), 640}}) {
    const VKRPictureOptions o = optionsOf(arguments);
    EXPECT_EQ(o.qualityValue(), 50);
    EXPECT_EQ(o.destinationType, kVKRDestinationTypeFileUri);
    EXPECT_EQ(o.sourceType, kVKRPictureSourceTypeCamera);
    EXPECT_EQ(o.targetSize, (platform::ui::Size{0, 0}));  // one side alone is no size
    EXPECT_EQ(o.encodingType, kVKREncodingTypeJPEG);
    EXPECT_EQ(o.mediaType, kVKRMediaTypePicture);
    EXPECT_FALSE(o.allowsEditing || o.correctOrientation || o.saveToPhotoAlbum || o.cropToSize);
    EXPECT_FALSE(o.popoverOptions);
    EXPECT_EQ(o.cameraDirection, 0);
  }
}

TEST(VKRPictureOptionsTest, GivenArgumentsAreConvertedAsNumbersAndTextsRead) {
  const VKRPictureOptions o = optionsOf(
      {80, "0", 2, 320.5, "240", 1, 2, true, "true", 1, Value::dictionary({{"x", 10}}), 1});
  EXPECT_EQ(o.qualityValue(), 80);
  EXPECT_EQ(o.destinationType, kVKRDestinationTypeDataUrl);
  EXPECT_EQ(o.sourceType, kVKRPictureSourceTypeSavedPhotosAlbum);
  EXPECT_EQ(o.targetSize, (platform::ui::Size{320.5, 240}));
  EXPECT_EQ(o.encodingType, kVKREncodingTypePNG);
  EXPECT_EQ(o.mediaType, kVKRMediaTypeAll);
  EXPECT_TRUE(o.allowsEditing && o.correctOrientation && o.saveToPhotoAlbum);
  ASSERT_TRUE(o.popoverOptions);
  EXPECT_EQ(o.popoverOptions->find("x")->intOr(0), 10);
  EXPECT_EQ(o.cameraDirection, 1);
}

}  // namespace
