#include "Plugins/vokaru-plugin-camera/vkr_camera.h"

#include <cstdio>

#include "Plugins/vokaru-plugin-camera/uiimage_crop_scale_orientation.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/media/photo_library.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

VKR_REGISTER_PLUGIN(VKRCamera);

using platform::media::ImagePickerController;
using platform::media::ImagePickerSourceType;
using platform::media::Picture;

namespace {

constexpr const char* kNoImageSelected = "no image selected";

bool usesGeolocation(const std::shared_ptr<VKRCommandDelegate>& delegate) {
  return delegate && vokaruBoolSettingForKey(delegate->settings(), "CameraUsesGeolocation", false);
}

// The album copy the picture options ask for, written without waiting for the outcome.
void saveToPhotoAlbum(const Picture& image) {
  platform::globalQueue()->async([image] {
    platform::Result<platform::Bytes> data = image.jpegData(1.0);
    if (data) (void)platform::media::PhotoLibrary::writeAsset(*data, "JPG");
  });
}

}  // namespace

std::shared_ptr<VKRCameraPicker> VKRCameraPicker::createFromPictureOptions(
    const VKRPictureOptions& options) {
  auto picker = std::make_shared<VKRCameraPicker>();
  picker->pictureOptions_ = options;
  const auto source = static_cast<ImagePickerSourceType>(options.sourceType);
  picker->setSourceType(source);
  picker->setAllowsEditing(options.allowsEditing);
  if (options.sourceType == kVKRPictureSourceTypeCamera) {
    picker->setMediaTypes({platform::media::kMediaTypeImage});
    picker->setCameraDevice(static_cast<platform::media::CameraDevice>(options.cameraDirection));
  } else if (options.mediaType == kVKRMediaTypeAll) {
    picker->setMediaTypes(ImagePickerController::availableMediaTypesForSourceType(source));
  } else if (options.mediaType == kVKRMediaTypeVideo) {
    picker->setMediaTypes({platform::media::kMediaTypeMovie});
  } else {
    picker->setMediaTypes({platform::media::kMediaTypeImage});
  }
  return picker;
}

VKRCamera::VKRCamera(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("takePicture", &VKRCamera::takePicture);
  addAction("cleanup", &VKRCamera::cleanup);
  addAction("repositionPopover", &VKRCamera::repositionPopover);
}

void VKRCamera::takePicture(const VKRInvokedUrlCommand& command) {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  setHasPendingOperation(true);
  // The background work holds nothing strongly, so the plugin is never destroyed off the main
  // thread.
  delegate->runInBackground([weak = weak_from_this(),
                             weakDelegate = std::weak_ptr<VKRCommandDelegate>(delegate), command] {
    VKRPictureOptions options = VKRPictureOptions::createFromTakePictureArguments(command);
    // The desktop has no tablet idiom, so pickers are never shown in popovers.
    options.popoverSupported = false;
    options.usesGeolocation = usesGeolocation(weakDelegate.lock());
    options.cropToSize = false;
    const auto source = static_cast<ImagePickerSourceType>(options.sourceType);
    if (!ImagePickerController::isSourceTypeAvailable(source)) {
      platform::logf("Camera.getPicture: source type %lu not available.",
                     static_cast<unsigned long>(options.sourceType));
      if (auto delegate = weakDelegate.lock()) {
        delegate->sendPluginResult(
            VKRPluginResult::resultWithStatus(kVKRCommandStatusError, "No camera available"),
            command.callbackId());
      }
      platform::mainQueue()->async([weak] {
        if (auto self = weak.lock()) self->setHasPendingOperation(false);
      });
      return;
    }
    platform::mainQueue()->async([weak, options, callbackId = command.callbackId()] {
      if (auto self = weak.lock()) self->showPicker(options, callbackId);
    });
  });
}

void VKRCamera::showPicker(const VKRPictureOptions& options,
                           std::optional<std::string> callbackId) {
  auto picker = VKRCameraPicker::createFromPictureOptions(options);
  pickerController_ = picker;
  picker->setDelegate(weak_from_this());
  picker->setCallbackId(callbackId);
  std::shared_ptr<VKRViewController> host = viewController();
  const bool presented =
      host && host->presentViewController(picker, true, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->setHasPendingOperation(false);
      });
  if (!presented) {
    // Without a window to show it in, the call would never end: it ends as one picking nothing.
    answer(VKRPluginResult::resultWithStatus(kVKRCommandStatusError, kNoImageSelected), callbackId);
    finishCall();
  }
}

std::optional<Picture> VKRCamera::retrieveImage(const ImagePickerController::Info& info,
                                                const VKRPictureOptions& options) {
  std::optional<Picture> image =
      options.allowsEditing && info.editedImage ? info.editedImage : info.originalImage;
  if (!image) return std::nullopt;
  if (options.correctOrientation) image = imageCorrectedForCaptureOrientation(*image);
  if (options.targetSize.width > 0 && options.targetSize.height > 0) {
    std::optional<Picture> scaled =
        options.cropToSize ? imageByScalingAndCroppingForSize(*image, options.targetSize)
                           : imageByScalingNotCroppingForSize(*image, options.targetSize);
    if (scaled) image = std::move(scaled);
  }
  return image;
}

std::optional<platform::Bytes> VKRCamera::processImage(const Picture& image,
                                                       const VKRPictureOptions& options) {
  if (options.encodingType != kVKREncodingTypePNG && options.encodingType != kVKREncodingTypeJPEG) {
    return std::nullopt;
  }
  const bool unedited = !options.allowsEditing && options.targetSize.width <= 0 &&
                        options.targetSize.height <= 0 && !options.correctOrientation &&
                        (static_cast<int64_t>(options.qualityValue()) == 100 ||
                         options.sourceType != kVKRPictureSourceTypeCamera);
  // Capture metadata (and so the location step) comes only with camera pictures, which the
  // desktop has none of.
  platform::Result<platform::Bytes> data =
      options.encodingType == kVKREncodingTypePNG
          ? image.pngData()
          : image.jpegData(unedited ? 1.0 : options.qualityValue() / 100);
  if (!data) {
    platform::logf("Camera: the picture could not be encoded: %s",
                   data.error().description().c_str());
    return std::nullopt;
  }
  return *data;
}

std::filesystem::path VKRCamera::tempFilePath(std::string_view extension) {
  const std::filesystem::path folder = platform::AppHome::temporary();
  for (int counter = 1;; ++counter) {
    char name[64];
    std::snprintf(name, sizeof name, "vkr_photo_%03d.", counter);
    std::filesystem::path path = folder / (name + std::string(extension));
    if (!platform::FileManager::fileExists(path)) return path;
  }
}

std::optional<VKRPluginResult> VKRCamera::resultForImage(const VKRPictureOptions& options,
                                                         const ImagePickerController::Info& info) {
  switch (options.destinationType) {
    case kVKRDestinationTypeNativeUri: {
      if (info.referenceURL) {
        return VKRPluginResult(kVKRCommandStatusOK, urlTransformer(*info.referenceURL));
      }
      std::optional<Picture> image = retrieveImage(info, options);
      if (!image) return std::nullopt;
      platform::Result<platform::Bytes> data = image->jpegData(1.0);
      if (!data)
        return VKRPluginResult(kVKRCommandStatusIOError, data.error().localizedDescription());
      platform::Result<std::string> url = platform::media::PhotoLibrary::writeAsset(*data, "JPG");
      if (!url)
        return VKRPluginResult(kVKRCommandStatusIOError, url.error().localizedDescription());
      return VKRPluginResult(kVKRCommandStatusOK, urlTransformer(*url));
    }
    case kVKRDestinationTypeFileUri:
    case kVKRDestinationTypeDataUrl: {
      std::optional<Picture> image = retrieveImage(info, options);
      if (image && options.saveToPhotoAlbum) saveToPhotoAlbum(*image);
      std::optional<platform::Bytes> data = image ? processImage(*image, options) : std::nullopt;
      if (!data) return std::nullopt;
      if (options.destinationType == kVKRDestinationTypeDataUrl) {
        return VKRPluginResult(kVKRCommandStatusOK, platform::base64Encode(*data));
      }
      const std::filesystem::path path =
          tempFilePath(options.encodingType == kVKREncodingTypePNG ? "png" : "jpg");
      platform::Status written = platform::FileManager::writeAtomically(path, *data);
      if (!written)
        return VKRPluginResult(kVKRCommandStatusIOError, written.error().localizedDescription());
      platform::Result<platform::URL> url = platform::URL::fileURL(path.string());
      if (!url)
        return VKRPluginResult(kVKRCommandStatusIOError, url.error().localizedDescription());
      return VKRPluginResult(kVKRCommandStatusOK, urlTransformer(url->absoluteString()));
    }
    default:
      return std::nullopt;
  }
}

void VKRCamera::imagePickerDidFinishPicking(ImagePickerController& picker,
                                            const ImagePickerController::Info& info) {
  auto cameraPicker = std::static_pointer_cast<VKRCameraPicker>(picker.shared_from_this());
  picker.dismissViewController(true, [weak = weak_from_this(), cameraPicker, info] {
    auto self = weak.lock();
    if (!self) return;
    std::optional<VKRPluginResult> result;
    if (info.mediaType == platform::media::kMediaTypeImage) {
      result = self->resultForImage(cameraPicker->pictureOptions(), info);
      if (!result) result = VKRPluginResult::resultWithStatus(kVKRCommandStatusNoResult);
    } else {
      result = VKRPluginResult(kVKRCommandStatusOK, info.mediaURL.value_or(""));
    }
    self->answer(*result, cameraPicker->callbackId());
    self->finishCall();
  });
}

void VKRCamera::imagePickerDidCancel(ImagePickerController& picker) {
  auto cameraPicker = std::static_pointer_cast<VKRCameraPicker>(picker.shared_from_this());
  picker.dismissViewController(true, [weak = weak_from_this(), cameraPicker] {
    auto self = weak.lock();
    if (!self) return;
    // The camera is never offered here, so a cancel is of a library source.
    const bool libraryRefused = platform::media::PhotoLibrary::authorizationStatus() !=
                                platform::media::PhotoLibraryAuthorization::Authorized;
    self->answer(
        VKRPluginResult::resultWithStatus(
            kVKRCommandStatusError, libraryRefused ? "has no access to assets" : kNoImageSelected),
        cameraPicker->callbackId());
    self->finishCall();
  });
}

void VKRCamera::cleanup(const VKRInvokedUrlCommand& command) {
  const std::filesystem::path folder = platform::AppHome::temporary();
  bool failed = false;
  platform::Result<std::vector<std::string>> entries =
      platform::FileManager::subpathsOfDirectory(folder);
  if (entries) {
    for (const std::string& entry : *entries) {
      // A folder's entries go with it.
      if (!entry.starts_with("vkr_photo_") || !platform::FileManager::fileExists(folder / entry)) {
        continue;
      }
      platform::Status removed = platform::FileManager::removeItem(folder / entry);
      if (!removed) {
        platform::logf("Failed to delete: %s (error: %s)", (folder / entry).c_str(),
                       removed.error().description().c_str());
        failed = true;
      }
    }
  }
  answer(failed ? VKRPluginResult::resultWithStatus(kVKRCommandStatusIOError,
                                                    "One or more files failed to be deleted.")
                : VKRPluginResult::resultWithStatus(kVKRCommandStatusOK),
         command.callbackId());
}

// Pickers are never shown in popovers on the desktop, so there is none to move.
void VKRCamera::repositionPopover(const VKRInvokedUrlCommand&) {}

std::string VKRCamera::urlTransformer(const std::string& url) {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  VKRCommandDelegate::URLTransformer transformer = delegate ? delegate->urlTransformer() : nullptr;
  return transformer ? transformer(url) : url;
}

void VKRCamera::answer(const VKRPluginResult& result,
                       const std::optional<std::string>& callbackId) {
  if (auto delegate = commandDelegate()) delegate->sendPluginResult(result, callbackId);
}

void VKRCamera::finishCall() {
  setHasPendingOperation(false);
  pickerController_.reset();
}
