#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Plugins/vokaru-plugin-camera/vkr_picture_options.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/value.h"
#include "platform/media/image_picker_controller.h"
#include "platform/media/picture.h"

// The picker of one takePicture call: its options and the page's callback id.
class VKRCameraPicker : public platform::media::ImagePickerController {
 public:
  // A picker for the options' source; media types [image] for the camera, and for the other
  // sources by the options' media type (all the source offers, [movie], or [image]).
  static std::shared_ptr<VKRCameraPicker> createFromPictureOptions(
      const VKRPictureOptions& options);

  const VKRPictureOptions& pictureOptions() const { return pictureOptions_; }
  const std::optional<std::string>& callbackId() const { return callbackId_; }
  void setCallbackId(std::optional<std::string> id) { callbackId_ = std::move(id); }

 private:
  VKRPictureOptions pictureOptions_;
  std::optional<std::string> callbackId_;
};

// The page's pictures (service "Camera"): picks a picture or video from the photo library,
// scales, crops and turns it upright as asked, and answers it as base64 text, a temporary file's
// URL or the photo library's asset URL; cleanup removes the temporary pictures. No camera exists
// on the desktop: asking for it answers "No camera available". Options are read on the global
// queue, everything else runs on the main thread.
class VKRCamera : public VKRPlugin,
                  public platform::media::ImagePickerController::Delegate,
                  public std::enable_shared_from_this<VKRCamera> {
 public:
  explicit VKRCamera(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  std::shared_ptr<VKRCameraPicker> pickerController() const { return pickerController_; }

  // The picked picture as the options ask: the edited one when editing is allowed (else the
  // original), upright when asked, scaled (and cropped, with cropToSize) to a target size whose
  // sides are both above 0.
  static std::optional<platform::media::Picture> retrieveImage(
      const platform::media::ImagePickerController::Info& info, const VKRPictureOptions& options);
  // The picture encoded as the options ask; nothing for an unknown encoding.
  static std::optional<platform::Bytes> processImage(const platform::media::Picture& image,
                                                     const VKRPictureOptions& options);
  // The first "vkr_photo_<NNN>.<extension>" of the app's temporary folder that does not exist.
  static std::filesystem::path tempFilePath(std::string_view extension);

  void imagePickerDidFinishPicking(
      platform::media::ImagePickerController& picker,
      const platform::media::ImagePickerController::Info& info) override;
  void imagePickerDidCancel(platform::media::ImagePickerController& picker) override;

 private:
  void takePicture(const VKRInvokedUrlCommand& command);
  void cleanup(const VKRInvokedUrlCommand& command);
  void repositionPopover(const VKRInvokedUrlCommand& command);

  void showPicker(const VKRPictureOptions& options, std::optional<std::string> callbackId);
  std::optional<VKRPluginResult> resultForImage(
      const VKRPictureOptions& options, const platform::media::ImagePickerController::Info& info);
  std::string urlTransformer(const std::string& url);
  void answer(const VKRPluginResult& result, const std::optional<std::string>& callbackId);
  void finishCall();

  std::shared_ptr<VKRCameraPicker> pickerController_;
};
