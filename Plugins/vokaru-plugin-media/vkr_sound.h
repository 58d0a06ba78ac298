#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Plugins/vokaru-plugin-media/vkr_audio_file.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/foundation/thread_annotations.h"

// The media plugin (service "Media"): media objects that the page names by id, played from the
// web folder, the app's folders or the network, and recorded into ".wav" files. Results reach
// the page as status calls of its media module. Page actions run on the main thread, playing
// starts on a background job and the players report on the main queue: the media table and its
// objects are guarded by one lock, never held while a player works.
class VKRSound : public VKRPlugin, public std::enable_shared_from_this<VKRSound> {
 public:
  // The page function every status call goes to.
  static constexpr const char* kStatusFunction =
      "vokaru.require('vokaru-plugin-media.Media').onStatus";
  enum MessageType { kMediaState = 1, kMediaDuration = 2, kMediaPosition = 3, kMediaError = 9 };
  enum MediaState { kMediaRunning = 2, kMediaPaused = 3, kMediaStopped = 4 };
  enum MediaErrorCode { kMediaErrAborted = 1, kMediaErrDecode = 3, kMediaErrNoneSupported = 4 };

  explicit VKRSound(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine);
  ~VKRSound() override;

  void onMemoryWarning() override;
  void onReset() override;

  // The compact JSON error object {"code": …, "message": …}.
  static std::string createMediaErrorWithCode(int code, std::string_view message);
  // Where a source plays from or records to; nothing when it cannot be used.
  std::optional<platform::URL> urlForPlaying(const std::string& resourcePath);
  std::optional<platform::URL> urlForRecording(const std::string& resourcePath);

  // The media object of the id, made for a new id with a source; with validation its URL is
  // resolved once. Failures make the error call; nothing when there is no object.
  std::shared_ptr<VKRAudioFile> audioFileForResource(const std::string& resourcePath,
                                                     const std::string& mediaId, bool doValidation,
                                                     bool forRecording);

 private:
  // Page actions.
  void create(const VKRInvokedUrlCommand& command);
  void startPlayingAudio(const VKRInvokedUrlCommand& command);
  void pausePlayingAudio(const VKRInvokedUrlCommand& command);
  void stopPlayingAudio(const VKRInvokedUrlCommand& command);
  void seekToAudio(const VKRInvokedUrlCommand& command);
  void setVolume(const VKRInvokedUrlCommand& command);
  void setRate(const VKRInvokedUrlCommand& command);
  void getCurrentPositionAudio(const VKRInvokedUrlCommand& command);
  void release(const VKRInvokedUrlCommand& command);
  void startRecordingAudio(const VKRInvokedUrlCommand& command);
  void stopRecordingAudio(const VKRInvokedUrlCommand& command);

  void playInBackground(const std::string& mediaId, const std::string& resourcePath,
                        const platform::Dictionary& options);
  // Makes the object's local player; true on failure.
  bool prepareToPlay(const std::shared_ptr<VKRAudioFile>& audioFile, const std::string& mediaId);
  void startRecording(const std::shared_ptr<VKRAudioFile>& audioFile, const std::string& mediaId);
  void audioPlayerDidFinishPlaying(const std::string& mediaId, bool successfully);
  void audioRecorderDidFinishRecording(const std::string& mediaId, bool successfully);
  void itemDidFinishPlaying(const std::string& mediaId);
  // A stream player for a network source whose end and stalls are reported for the media id.
  std::shared_ptr<platform::media::StreamPlayer> makeStreamPlayer(const std::string& url,
                                                                  const std::string& mediaId);

  std::shared_ptr<VKRAudioFile> audioFileForId(const std::string& mediaId);
  // What plays an object now, taken under the lock so the players outlive a release meanwhile.
  struct Players {
    std::shared_ptr<VKRAudioPlayer> player;
    std::shared_ptr<platform::media::StreamPlayer> streamPlayer;
    std::string path;
  };
  Players playersOf(const VKRAudioFile& audioFile);
  // The path of a "vkrfile:" text on the device, from the file plugin.
  std::optional<std::string> devicePathForFileURL(const std::string& text);
  // Resources in the documents folder ("documents://...") and file URLs, which playing and
  // recording take alike. False when the resource is neither; else sets `path`, or only `url`
  // when a file URL names no device path (nothing when it can't be parsed either).
  bool placeDocumentsOrFileResource(const std::string& resourcePath, std::string& path,
                                    std::optional<platform::URL>& url);
  void deactivateSession();
  void evalJs(const std::string& js);
  void sendError(const std::string& mediaId, int code, std::string_view message);

  platform::Mutex mutex_;
  std::map<std::string, std::shared_ptr<VKRAudioFile>, std::less<>> soundCache_
      VKR_GUARDED_BY(mutex_);
  std::string currMediaId_ VKR_GUARDED_BY(mutex_);
  bool hasSession_ VKR_GUARDED_BY(mutex_) = false;
};
