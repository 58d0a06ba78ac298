#pragma once

#include <cstdint>
#include <optional>

#include "VokaruLib/Classes/Public/vkr_invoked_url_command.h"
#include "platform/foundation/value.h"
#include "platform/ui/geometry.h"

enum VKRDestinationType : uint64_t {
  kVKRDestinationTypeDataUrl = 0,    // base64 text
  kVKRDestinationTypeFileUri = 1,    // a temporary file's URL
  kVKRDestinationTypeNativeUri = 2,  // the photo library's asset URL
};
enum VKREncodingType : uint64_t { kVKREncodingTypeJPEG = 0, kVKREncodingTypePNG = 1 };
enum VKRMediaType : uint64_t {
  kVKRMediaTypePicture = 0,
  kVKRMediaTypeVideo = 1,
  kVKRMediaTypeAll = 2
};
// The picker's sources, as the page numbers them.
enum VKRPictureSourceType : int64_t {
  kVKRPictureSourceTypePhotoLibrary = 0,
  kVKRPictureSourceTypeCamera = 1,
  kVKRPictureSourceTypeSavedPhotosAlbum = 2,
};

// What one takePicture call asks for, read from its arguments.
struct VKRPictureOptions {
  platform::Value quality;  // JPEG quality 0-100, a number as the page gave it
  uint64_t destinationType = kVKRDestinationTypeFileUri;
  int64_t sourceType = kVKRPictureSourceTypeCamera;
  platform::ui::Size targetSize;  // 0 x 0: none
  uint64_t encodingType = kVKREncodingTypeJPEG;
  uint64_t mediaType = kVKRMediaTypePicture;
  bool allowsEditing = false;
  bool correctOrientation = false;
  bool saveToPhotoAlbum = false;
  std::optional<platform::Dictionary> popoverOptions;
  int64_t cameraDirection = 0;    // 0 rear, 1 front
  bool popoverSupported = false;  // set by the plugin
  bool usesGeolocation = false;   // set by the plugin
  bool cropToSize = false;

  // Arguments 0-11 of the command, each with its default where absent or null.
  static VKRPictureOptions createFromTakePictureArguments(const VKRInvokedUrlCommand& command);

  // The quality as a number (0 when the page's value is none).
  double qualityValue() const;
};
