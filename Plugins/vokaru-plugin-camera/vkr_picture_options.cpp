#include "Plugins/vokaru-plugin-camera/vkr_picture_options.h"

#include "platform/foundation/text_number.h"

namespace {

// Numbers read as the platform's numbers and texts read them; anything else gives 0.
int64_t integerOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return platform::integerValueOfText(*text);
  return value.intOr(0);
}

double doubleOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return platform::doubleValueOfText(*text);
  return value.doubleOr(0);
}

bool boolOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) {
    // A text is true when it starts with a non-zero digit or Y, y, T or t.
    for (char c : *text) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '+' || c == '-' || c == '0') continue;
      return (c >= '1' && c <= '9') || c == 'Y' || c == 'y' || c == 'T' || c == 't';
    }
    return false;
  }
  return value.boolOr(false);
}

}  // namespace

VKRPictureOptions VKRPictureOptions::createFromTakePictureArguments(
    const VKRInvokedUrlCommand& command) {
  VKRPictureOptions options;
  options.quality = command.argumentAtIndex(0, 50);
  options.destinationType = static_cast<uint64_t>(integerOf(command.argumentAtIndex(1, 1)));
  options.sourceType =
      static_cast<int64_t>(static_cast<uint64_t>(integerOf(command.argumentAtIndex(2, 1))));
  const platform::Value& width = command.argumentAtIndex(3);
  const platform::Value& height = command.argumentAtIndex(4);
  if (!width.isNull() && !height.isNull()) {
    options.targetSize = {static_cast<float>(doubleOf(width)),
                          static_cast<float>(doubleOf(height))};
  }
  options.encodingType = static_cast<uint64_t>(integerOf(command.argumentAtIndex(5, 0)));
  options.mediaType = static_cast<uint64_t>(integerOf(command.argumentAtIndex(6, 0)));
  options.allowsEditing = boolOf(command.argumentAtIndex(7, false));
  options.correctOrientation = boolOf(command.argumentAtIndex(8, false));
  options.saveToPhotoAlbum = boolOf(command.argumentAtIndex(9, false));
  if (const auto* popover = command.argumentAtIndex(10).dictionaryIf()) {
    options.popoverOptions = *popover;
  }
  options.cameraDirection =
      static_cast<int64_t>(static_cast<uint64_t>(integerOf(command.argumentAtIndex(11, 0))));
  options.cropToSize = false;
  return options;
}

double VKRPictureOptions::qualityValue() const { return doubleOf(quality); }
