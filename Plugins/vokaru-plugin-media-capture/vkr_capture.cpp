#include "Plugins/vokaru-plugin-media-capture/vkr_capture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "Plugins/vokaru-plugin-media-capture/vkr_audio_recorder_view_controller.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/media/audio_player.h"
#include "platform/media/camera_capture.h"
#include "platform/media/media_asset.h"
#include "platform/media/media_devices.h"
#include "platform/media/photo_library.h"
#include "platform/storage/app_home.h"
#include "platform/ui/image_file.h"

VKR_REGISTER_PLUGIN(VKRCapture);

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr double kImageQuality = 0.5;
// Video is recorded for this long when the page gives no duration: there is no stop button.
constexpr double kDefaultVideoSeconds = 10;

VKRPluginResult errorResult(int32_t status, int code) {
  return VKRPluginResult::resultWithStatusMessageToErrorObject(status, code);
}

// The options dictionary of argument 0; a missing or null one counts as empty.
Dictionary optionsOf(const VKRInvokedUrlCommand& command) {
  const Dictionary* options = command.argumentAtIndex(0).dictionaryIf();
  return options ? *options : Dictionary();
}

// {"codecs", "bitrate", "height", "width", "duration"} of the file, as far as its type tells.
Dictionary formatData(const std::string& fullPath, const std::string& mimeType) {
  Dictionary format;
  format.set("codecs", Value(nullptr));
  format.set("bitrate", Value(0));
  format.set("height", Value(0));
  format.set("width", Value(0));
  format.set("duration", Value(0));
  platform::Result<platform::URL> fileURL = platform::URL::fileURL(fullPath);
  if (mimeType.find("image/") != std::string::npos) {
    platform::Result<platform::ui::Image> image = platform::ui::readImageFile(fullPath);
    if (image.ok()) {
      format.set("width", Value(image->width));
      format.set("height", Value(image->height));
    }
  } else if (mimeType.find("video/") != std::string::npos) {
    platform::Result<platform::media::MediaFormat> media =
        fileURL.ok() ? platform::media::discoverMediaFormat(fileURL->absoluteString())
                     : platform::Result<platform::media::MediaFormat>(fileURL.error());
    if (media.ok()) format.set("duration", Value(static_cast<float>(media->duration)));
    if (media.ok() && media->videoSize) {
      format.set("height", Value(static_cast<float>(media->videoSize->height)));
      format.set("width", Value(static_cast<float>(media->videoSize->width)));
    } else {
      platform::logf("No video tracks found for %s", fullPath.c_str());
    }
  } else if (mimeType.find("audio/") != std::string::npos) {
    platform::Result<std::shared_ptr<platform::media::AudioPlayer>> player =
        platform::media::AudioPlayer::create(fullPath);
    if (player.ok()) {
      format.set("duration", Value((*player)->duration()));
      const Dictionary settings = (*player)->settings();
      if (const Value* bitrate = settings.find("AVEncoderBitRateKey"))
        format.set("bitrate", *bitrate);
    }
  }
  return format;
}

Value mode(const char* type) {
  return Value::dictionary({{"type", type}, {"height", 0}, {"width", 0}});
}

}  // namespace

VKRCapture::VKRCapture(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine)
    : VKRPlugin(std::move(webViewEngine)) {
  addAction("captureAudio", &VKRCapture::captureAudio);
  addAction("captureImage", &VKRCapture::captureImage);
  addAction("captureVideo", &VKRCapture::captureVideo);
  addAction("getMediaModes", &VKRCapture::getMediaModes);
  addAction("getFormatData", &VKRCapture::getFormatData);
}

void VKRCapture::pluginInitialize() { inUse_ = false; }

void VKRCapture::send(const VKRPluginResult& result,
                      const std::optional<std::string>& callbackId) const {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(result, callbackId);
  }
}

void VKRCapture::captureAudio(const VKRInvokedUrlCommand& command) {
  const Dictionary options = optionsOf(command);
  const Value* durationValue = options.find("duration");
  std::optional<double> duration;
  if (durationValue && durationValue->doubleOr(0) > 0) duration = durationValue->doubleOr(0);
  // Without a microphone there is nothing to record from.
  if (!platform::media::audioInputAvailable()) {
    send(errorResult(kVKRCommandStatusError, kCaptureNotSupported), command.callbackId());
    return;
  }
  if (inUse_) {
    send(errorResult(kVKRCommandStatusError, kCaptureApplicationBusy), command.callbackId());
    return;
  }
  auto recorder = std::make_shared<VKRAudioRecorderViewController>(
      shared_from_this(), duration, command.callbackId().value_or(""));
  auto navigation = std::make_shared<VKRAudioNavigationController>(recorder);
  std::shared_ptr<VKRViewController> host = viewController();
  inUse_ = true;
  if (!host || !host->presentViewController(navigation, true, nullptr)) {
    // Nowhere to show the screen: it closes at once with its "nothing recorded" answer.
    recorder->dismissAudioView();
  }
}

void VKRCapture::answerInBackground(const VKRInvokedUrlCommand& command,
                                    std::function<VKRPluginResult(VKRCapture& self)> work) {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  std::weak_ptr<VKRCapture> weak = weak_from_this();
  delegate->runInBackground([weak, work = std::move(work), callbackId = command.callbackId()] {
    if (auto self = weak.lock()) self->send(work(*self), callbackId);
  });
}

void VKRCapture::captureImage(const VKRInvokedUrlCommand& command) {
  if (!platform::media::videoInputAvailable()) {
    platform::log("Capture.imageCapture: camera not available.");
    send(errorResult(kVKRCommandStatusError, kCaptureNotSupported), command.callbackId());
    return;
  }
  const std::string path = nextFreeTemporaryPath("photo_%03d.jpg");
  answerInBackground(command, [path](VKRCapture& self) {
    platform::Status taken = platform::media::captureStillImage(path, kImageQuality);
    if (!taken.ok()) {
      platform::logf("Error saving image: %s", taken.error().localizedDescription().c_str());
      return errorResult(kVKRCommandStatusIOError, kCaptureInternalErr);
    }
    // Pictures taken also go to the saved-photos album.
    std::ifstream file(path, std::ios::binary);
    platform::Bytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The capture itself succeeded; a picture the album can't take is only logged.
    if (platform::Result<std::string> saved =
            platform::media::PhotoLibrary::writeAsset(data, "jpg");
        !saved.ok()) {
      platform::logf("Error saving image to the album: %s",
                     saved.error().localizedDescription().c_str());
    }
    return VKRPluginResult::resultWithStatus(
        kVKRCommandStatusOK,
        Value::Array{Value(self.getMediaDictionaryFromPath(path, std::nullopt))});
  });
}

void VKRCapture::captureVideo(const VKRInvokedUrlCommand& command) {
  if (!platform::media::videoInputAvailable()) {
    platform::log("Capture.captureVideo: video mode not available.");
    send(errorResult(kVKRCommandStatusError, kCaptureNotSupported), command.callbackId());
    return;
  }
  const double duration =
      optionsOf(command).find("duration") ? optionsOf(command).find("duration")->doubleOr(0) : 0;
  const std::string path = nextFreeTemporaryPath("video_%03d.webm");
  answerInBackground(command, [path, duration](VKRCapture& self) {
    platform::Status recorded = platform::media::captureVideo(
        path, platform::seconds(duration > 0 ? duration : kDefaultVideoSeconds));
    if (!recorded.ok()) {
      platform::logf("Capture.captureVideo: %s", recorded.error().localizedDescription().c_str());
      return errorResult(kVKRCommandStatusError, kCaptureInternalErr);
    }
    return VKRPluginResult::resultWithStatus(
        kVKRCommandStatusOK,
        Value::Array{Value(self.getMediaDictionaryFromPath(path, std::nullopt))});
  });
}

void VKRCapture::getMediaModes(const VKRInvokedUrlCommand&) {
  const bool camera = platform::media::videoInputAvailable();
  Value image = camera ? Value::array({mode("image/jpeg"), mode("image/png")}) : Value(nullptr);
  Value video = camera ? Value::array({mode("video/quicktime")}) : Value(nullptr);
  Value modes = Value::dictionary({{"image", image}, {"video", video}, {"audio", nullptr}});
  const std::string json = platform::toJSON(modes).valueOr(std::string("{}"));
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->evalJs(
        platform::format("navigator.device.capture.setSupportedModes(%s);", json.c_str()));
  }
}

void VKRCapture::getFormatData(const VKRInvokedUrlCommand& command) {
  const std::string* pathArgument = command.argumentAtIndex(0).stringIf();
  const std::string fullPath = pathArgument ? *pathArgument : std::string();
  std::optional<std::string> mimeType;
  if (const std::string* given = command.argumentAtIndex(1).stringIf()) mimeType = *given;
  if (!mimeType) {
    std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
    if (!std::dynamic_pointer_cast<VKRFile>(delegate ? delegate->getCommandInstance("File")
                                                     : nullptr)) {
      send(errorResult(kVKRCommandStatusError, kCaptureInternalErr), command.callbackId());
      return;
    }
    mimeType = VKRFile::getMimeTypeFromPath(fullPath);
    if (!mimeType) {
      send(errorResult(kVKRCommandStatusError, kCaptureInvalidArgument), command.callbackId());
      return;
    }
  }
  // Reading a media file's format takes a while: off the main thread.
  answerInBackground(command, [fullPath, type = *mimeType](VKRCapture&) {
    return VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, formatData(fullPath, type));
  });
}

Dictionary VKRCapture::getMediaDictionaryFromPath(const std::string& fullPath,
                                                  const std::optional<std::string>& type) const {
  Dictionary description;
  description.set("name", Value(fs::path(fullPath).filename().string()));
  description.set("fullPath", Value(fullPath));
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  auto file =
      std::dynamic_pointer_cast<VKRFile>(delegate ? delegate->getCommandInstance("File") : nullptr);
  if (file) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fullPath, error);
    if (std::optional<VKRFilesystemURL> url =
            file->fileSystemURLforLocalPath(error ? fullPath : resolved.string())) {
      description.set("localURL", Value(url->absoluteURL()));
    }
  }
  if (type) {
    description.set("type", Value(*type));
  } else if (file) {
    std::optional<std::string> found = VKRFile::getMimeTypeFromPath(fullPath);
    description.set("type", found ? Value(*found) : Value(nullptr));
  }
  std::error_code sizeError;
  std::error_code timeError;
  const uintmax_t size = fs::file_size(fullPath, sizeError);
  const auto modified = fs::last_write_time(fullPath, timeError);
  if (sizeError || timeError) {
    description.set("size", Value(static_cast<uint64_t>(0)));
    description.set("lastModifiedDate", Value(0.0));
  } else {
    const auto sinceEpoch = std::chrono::file_clock::to_sys(modified).time_since_epoch();
    description.set("size", Value(static_cast<uint64_t>(size)));
    description.set(
        "lastModifiedDate",
        Value(static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count())));
  }
  return description;
}

std::string VKRCapture::nextFreeTemporaryPath(const char* nameFormat) {
  const fs::path folder = platform::AppHome::temporary().lexically_normal();
  std::error_code error;
  for (int counter = 1;; ++counter) {
    std::string path = (folder / platform::format(nameFormat, counter)).string();
    if (!fs::exists(path, error)) return path;
  }
}
