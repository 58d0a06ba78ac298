#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/value.h"

// The media capture plugin (service "Capture"): records audio on the recorder screen, takes
// pictures and video from the camera where the machine has one, tells the page which capture
// modes the machine offers and reads the format of media files. Answers go to the action's
// callback as one plugin result. Actions run on the main thread; the camera and format reads
// work in the background.
class VKRCapture : public VKRPlugin, public std::enable_shared_from_this<VKRCapture> {
 public:
  enum CaptureError {
    kCaptureInternalErr = 0,
    kCaptureApplicationBusy = 1,
    kCaptureInvalidArgument = 2,
    kCaptureNoMediaFiles = 3,
    kCaptureNotSupported = 20,
  };

  explicit VKRCapture(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine);

  void pluginInitialize() override;

  // True while the recorder screen is shown.
  bool inUse() const { return inUse_; }
  void setInUse(bool inUse) { inUse_ = inUse; }

  // The page's description of a media file: name, full path, "vkrfile:" URL, MIME type, size and
  // modification time.
  platform::Dictionary getMediaDictionaryFromPath(const std::string& fullPath,
                                                  const std::optional<std::string>& type) const;

  // The first path of the temporary folder that the name format ("audio_%03d.wav") gives for a
  // counter from 1 upward and that does not exist yet.
  static std::string nextFreeTemporaryPath(const char* nameFormat);

 private:
  void captureAudio(const VKRInvokedUrlCommand& command);
  void captureImage(const VKRInvokedUrlCommand& command);
  void captureVideo(const VKRInvokedUrlCommand& command);
  void getMediaModes(const VKRInvokedUrlCommand& command);
  void getFormatData(const VKRInvokedUrlCommand& command);

  void send(const VKRPluginResult& result, const std::optional<std::string>& callbackId) const;
  // Runs the work in the background and sends the result it makes; nothing once the plugin is
  // gone.
  void answerInBackground(const VKRInvokedUrlCommand& command,
                          std::function<VKRPluginResult(VKRCapture& self)> work);

  bool inUse_ = false;
};
