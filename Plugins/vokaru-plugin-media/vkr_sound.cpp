#include "Plugins/vokaru-plugin-media/vkr_sound.h"

#include <cmath>
#include <filesystem>
#include <vector>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "Plugins/vokaru-plugin-file/vkr_filesystem_url.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/media/audio_session.h"
#include "platform/media/media_error.h"
#include "platform/storage/app_home.h"

VKR_REGISTER_PLUGIN(VKRSound);

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::MutexLock;
using platform::URL;
using platform::Value;
using platform::media::AudioSession;

namespace {

constexpr std::string_view kDocumentsPrefix = "documents://";
constexpr std::string_view kFileURLPrefix = "vkrfile://";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool isRemote(std::string_view source) {
  return startsWith(source, "http://") || startsWith(source, "https://");
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::string replaceAll(std::string text, std::string_view from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string documentsPath() { return platform::AppHome::documents().string(); }
std::string temporaryPath() { return platform::AppHome::temporary().lexically_normal().string(); }

// F("<id>",type,
std::string callStart(const std::string& mediaId, int type) {
  std::string js = VKRSound::kStatusFunction;
  js += '(';
  platform::appendJSONString(mediaId, js);
  js += ',' + std::to_string(type) + ',';
  return js;
}

std::string stateCall(const std::string& mediaId, int state) {
  return callStart(mediaId, VKRSound::kMediaState) + std::to_string(state) + ");";
}

std::string numberCall(const std::string& mediaId, int type, const char* format, double value) {
  return callStart(mediaId, type) + platform::format(format, value) + ");";
}

double roundedToMilliseconds(double seconds) { return std::round(seconds * 1000) / 1000; }

std::string stringArgument(const VKRInvokedUrlCommand& command, size_t index) {
  const std::string* text = command.argumentAtIndex(index).stringIf();
  return text ? *text : std::string();
}

}  // namespace

VKRSound::VKRSound(std::shared_ptr<VKRWebViewEngineProtocol> webViewEngine)
    : VKRPlugin(std::move(webViewEngine)) {
  addAction("create", &VKRSound::create);
  addAction("startPlayingAudio", &VKRSound::startPlayingAudio);
  addAction("pausePlayingAudio", &VKRSound::pausePlayingAudio);
  addAction("stopPlayingAudio", &VKRSound::stopPlayingAudio);
  addAction("seekToAudio", &VKRSound::seekToAudio);
  addAction("setVolume", &VKRSound::setVolume);
  addAction("setRate", &VKRSound::setRate);
  addAction("getCurrentPositionAudio", &VKRSound::getCurrentPositionAudio);
  addAction("release", &VKRSound::release);
  addAction("startRecordingAudio", &VKRSound::startRecordingAudio);
  addAction("stopRecordingAudio", &VKRSound::stopRecordingAudio);
}

VKRSound::~VKRSound() {
  MutexLock lock(mutex_);
  soundCache_.clear();
}

std::string VKRSound::createMediaErrorWithCode(int code, std::string_view message) {
  Dictionary error;
  error.set("code", Value(static_cast<uint64_t>(code)));
  error.set("message", Value(message));
  return platform::toJSON(Value(std::move(error))).valueOr(std::string("{}"));
}

void VKRSound::evalJs(const std::string& js) {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) delegate->evalJs(js);
}

void VKRSound::sendError(const std::string& mediaId, int code, std::string_view message) {
  evalJs(callStart(mediaId, kMediaError) + createMediaErrorWithCode(code, message) + ");");
}

std::optional<std::string> VKRSound::devicePathForFileURL(const std::string& text) {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  auto file =
      std::dynamic_pointer_cast<VKRFile>(delegate ? delegate->getCommandInstance("File") : nullptr);
  if (!file) return std::nullopt;
  return file->filesystemPathForURL(VKRFilesystemURL::fileSystemURLWithString(text));
}

bool VKRSound::placeDocumentsOrFileResource(const std::string& resourcePath, std::string& path,
                                            std::optional<URL>& url) {
  if (startsWith(resourcePath, kDocumentsPrefix)) {
    path = replaceAll(resourcePath, kDocumentsPrefix, documentsPath() + "/");
    platform::logf("Will use resource '%s' from the documents folder with path = %s",
                   resourcePath.c_str(), path.c_str());
    return true;
  }
  if (!startsWith(resourcePath, kFileURLPrefix)) return false;
  if (std::optional<std::string> devicePath = devicePathForFileURL(resourcePath)) {
    path = *devicePath;
  } else if (platform::Result<URL> parsed = URL::parse(resourcePath); parsed.ok()) {
    url = *parsed;
  }
  return true;
}

std::optional<URL> VKRSound::urlForPlaying(const std::string& resourcePath) {
  if (isRemote(resourcePath)) {
    platform::logf("Will use resource '%s' from the Internet.", resourcePath.c_str());
    platform::Result<URL> url = URL::parse(resourcePath);
    return url.ok() ? std::optional<URL>(*url) : std::nullopt;
  }
  std::string path;
  std::optional<URL> named;
  if (placeDocumentsOrFileResource(resourcePath, path, named)) {
    if (path.empty()) return named;
  } else {
    std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
    std::optional<std::string> webPath =
        delegate ? delegate->pathForResource(resourcePath) : std::nullopt;
    const std::string inTemporary = temporaryPath() + "/" + resourcePath;
    if (webPath) {
      platform::logf("Found resource '%s' in the web folder.", resourcePath.c_str());
      path = *webPath;
    } else if (fileExists(inTemporary)) {
      platform::log("Will attempt to use file resource from LocalFileSystem.TEMPORARY directory");
      path = inTemporary;
    } else {
      platform::logf("Will attempt to use file resource '%s'", resourcePath.c_str());
      path = resourcePath;
    }
  }
  if (path.empty() || !fileExists(path)) {
    platform::logf("Unknown resource '%s'", resourcePath.c_str());
    return std::nullopt;
  }
  platform::Result<URL> url = URL::fileURL(path);
  return url.ok() ? std::optional<URL>(*url) : std::nullopt;
}

std::optional<URL> VKRSound::urlForRecording(const std::string& resourcePath) {
  std::string extension = fs::path(resourcePath).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".wav") {
    platform::logf("Resource for recording must have %s extension", "wav");
    return std::nullopt;
  }
  std::string path;
  std::optional<URL> named;
  if (placeDocumentsOrFileResource(resourcePath, path, named)) {
    if (path.empty()) return named;
  } else if (resourcePath.find(temporaryPath()) == std::string::npos &&
             resourcePath.find(documentsPath()) == std::string::npos) {
    path = temporaryPath() + "/" + resourcePath;
  } else {
    path = resourcePath;
  }
  platform::Result<URL> url = URL::fileURL(path);
  return url.ok() ? std::optional<URL>(*url) : std::nullopt;
}

std::shared_ptr<VKRAudioFile> VKRSound::audioFileForId(const std::string& mediaId) {
  MutexLock lock(mutex_);
  auto it = soundCache_.find(mediaId);
  return it == soundCache_.end() ? nullptr : it->second;
}

std::shared_ptr<VKRAudioFile> VKRSound::audioFileForResource(const std::string& resourcePath,
                                                             const std::string& mediaId,
                                                             bool doValidation, bool forRecording) {
  std::shared_ptr<VKRAudioFile> audioFile;
  std::optional<std::string> error;
  {
    MutexLock lock(mutex_);
    auto it = soundCache_.find(mediaId);
    if (it != soundCache_.end()) {
      audioFile = it->second;
    } else if (!resourcePath.empty()) {
      audioFile = std::make_shared<VKRAudioFile>();
      audioFile->resourcePath = resourcePath;
      soundCache_[mediaId] = audioFile;
    } else {
      error = "invalid media src argument";
    }
  }
  bool needsURL = false;
  if (audioFile && doValidation) {
    MutexLock lock(mutex_);
    needsURL = !audioFile->resourceURL;
  }
  if (needsURL) {
    std::optional<URL> url =
        forRecording ? urlForRecording(resourcePath) : urlForPlaying(resourcePath);
    if (url) {
      MutexLock lock(mutex_);
      if (!audioFile->resourceURL) audioFile->resourceURL = *url;
    } else {
      error = platform::format("Cannot use audio file from resource '%s'", resourcePath.c_str());
    }
  }
  if (error) sendError(mediaId, kMediaErrAborted, *error);
  return audioFile;
}

void VKRSound::create(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const std::string resourcePath = stringArgument(command, 1);
  std::shared_ptr<VKRAudioFile> audioFile =
      audioFileForResource(resourcePath, mediaId, false, false);
  if (!audioFile) {
    sendError(
        mediaId, kMediaErrAborted,
        platform::format("Failed to initialize Media file with path %s", resourcePath.c_str()));
    return;
  }
  {
    MutexLock lock(mutex_);
    // Only network sources stream; each media object keeps its own stream.
    if (isRemote(audioFile->resourcePath) && !audioFile->streamPlayer) {
      audioFile->streamPlayer = makeStreamPlayer(audioFile->resourcePath, mediaId);
    }
    currMediaId_ = mediaId;
  }
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK),
                               command.callbackId());
  }
}

std::shared_ptr<platform::media::StreamPlayer> VKRSound::makeStreamPlayer(
    const std::string& url, const std::string& mediaId) {
  std::shared_ptr<platform::media::StreamPlayer> player =
      platform::media::StreamPlayer::create(url);
  std::weak_ptr<VKRSound> weak = weak_from_this();
  player->setEndHandler([weak, mediaId] {
    if (auto self = weak.lock()) self->itemDidFinishPlaying(mediaId);
  });
  player->setStalledHandler([] { platform::log("Stalled playback"); });
  return player;
}

void VKRSound::startPlayingAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const std::string resourcePath = stringArgument(command, 1);
  const Value& optionsArgument = command.argumentAtIndex(2);
  Dictionary options =
      optionsArgument.dictionaryIf() ? *optionsArgument.dictionaryIf() : Dictionary();
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  if (!delegate) return;
  std::weak_ptr<VKRSound> weak = weak_from_this();
  delegate->runInBackground([weak, mediaId, resourcePath, options] {
    if (auto self = weak.lock()) self->playInBackground(mediaId, resourcePath, options);
  });
}

void VKRSound::playInBackground(const std::string& mediaId, const std::string& resourcePath,
                                const Dictionary& options) {
  std::shared_ptr<VKRAudioFile> audioFile =
      audioFileForResource(resourcePath, mediaId, true, false);
  bool needsPlayer = false;
  {
    MutexLock lock(mutex_);
    if (!audioFile || !audioFile->resourceURL) return;
    needsPlayer = !audioFile->player && !audioFile->streamPlayer;
  }
  if (needsPlayer && prepareToPlay(audioFile, mediaId)) {
    sendError(mediaId, kMediaErrNoneSupported, "");
    return;
  }
  std::shared_ptr<VKRAudioPlayer> player;
  std::shared_ptr<platform::media::StreamPlayer> streamPlayer;
  std::optional<double> volume;
  std::optional<double> rate;
  std::string path;
  {
    MutexLock lock(mutex_);
    currMediaId_ = mediaId;
    hasSession_ = true;
    player = audioFile->player;
    streamPlayer = audioFile->streamPlayer;
    volume = audioFile->volume;
    rate = audioFile->rate;
    path = audioFile->resourcePath;
  }
  if (!player && !streamPlayer) {
    sendError(mediaId, kMediaErrNoneSupported, "");
    return;
  }
  AudioSession& session = AudioSession::sharedInstance();
  const Value* whenLocked = options.find("playAudioWhenScreenIsLocked");
  const bool solo = whenLocked && !whenLocked->boolOr(true);
  session.setCategory(solo ? AudioSession::kCategorySoloAmbient : AudioSession::kCategoryPlayback);
  if (std::optional<platform::Error> error = session.setActive(true)) {
    platform::logf("Unable to play audio: %s", error->localizedDescription().c_str());
    sendError(mediaId, kMediaErrNoneSupported, "");
    return;
  }
  platform::logf("Playing audio sample '%s'", path.c_str());
  double duration = 0;
  if (streamPlayer) {
    duration = streamPlayer->duration();
    platform::log("Playing stream with AVPlayer & custom rate");
    if (rate) {
      streamPlayer->setRate(static_cast<float>(*rate));
    } else {
      streamPlayer->play();
    }
  } else {
    platform::media::AudioPlayer& audio = *player->audio;
    const Value* loops = options.find("numberOfLoops");
    audio.setNumberOfLoops(loops ? static_cast<int>(loops->intOr(1) - 1) : 0);
    if (audio.isPlaying()) {
      audio.stop();
      audio.setCurrentTime(0);
    }
    if (volume) audio.setVolume(static_cast<float>(*volume));
    audio.setEnableRate(true);
    if (rate) audio.setRate(static_cast<float>(*rate));
    if (!audio.play()) {
      sendError(mediaId, kMediaErrNoneSupported, "");
      return;
    }
    duration = roundedToMilliseconds(audio.duration());
  }
  evalJs(numberCall(mediaId, kMediaDuration, "%.3f", duration) + "\n" +
         stateCall(mediaId, kMediaRunning));
}

bool VKRSound::prepareToPlay(const std::shared_ptr<VKRAudioFile>& audioFile,
                             const std::string& mediaId) {
  std::optional<URL> url;
  {
    MutexLock lock(mutex_);
    url = audioFile->resourceURL;
  }
  if (url && isRemote(url->absoluteString())) {
    MutexLock lock(mutex_);
    if (!audioFile->streamPlayer) {
      audioFile->streamPlayer = makeStreamPlayer(url->absoluteString(), mediaId);
    }
    return false;
  }
  std::optional<std::string> path = url ? url->filePath() : std::nullopt;
  if (!path) return true;
  platform::Result<std::shared_ptr<platform::media::AudioPlayer>> audio =
      platform::media::AudioPlayer::create(*path);
  if (!audio.ok()) {
    platform::logf("Failed to initialize AVAudioPlayer: %s\n",
                   audio.error().localizedDescription().c_str());
    deactivateSession();
    return true;
  }
  auto player = std::make_shared<VKRAudioPlayer>(VKRAudioPlayer{mediaId, *audio});
  std::weak_ptr<VKRSound> weak = weak_from_this();
  player->audio->setFinishedHandler([weak, mediaId](bool successfully) {
    if (auto self = weak.lock()) self->audioPlayerDidFinishPlaying(mediaId, successfully);
  });
  if (!player->audio->prepareToPlay()) {
    platform::logf("Failed to initialize AVAudioPlayer: %s\n", "no audio output");
    return true;
  }
  MutexLock lock(mutex_);
  audioFile->player = player;
  return false;
}

void VKRSound::deactivateSession() {
  bool hadSession = false;
  {
    MutexLock lock(mutex_);
    hadSession = hasSession_;
  }
  if (hadSession) AudioSession::sharedInstance().setActive(false);
}

VKRSound::Players VKRSound::playersOf(const VKRAudioFile& audioFile) {
  MutexLock lock(mutex_);
  return {audioFile.player, audioFile.streamPlayer, audioFile.resourcePath};
}

void VKRSound::stopPlayingAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  const auto [player, streamPlayer, path] = playersOf(*audioFile);
  bool stopped = false;
  if (player) {
    platform::logf("Stopped playing audio sample '%s'", path.c_str());
    player->audio->stop();
    player->audio->setCurrentTime(0);
    stopped = true;
  }
  if (streamPlayer) {
    platform::logf("Stopped playing audio sample '%s'", path.c_str());
    streamPlayer->seek(0, [stream = streamPlayer](bool) { stream->pause(); });
    stopped = true;
  }
  if (stopped) evalJs(stateCall(mediaId, kMediaStopped));
}

void VKRSound::pausePlayingAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  const auto [player, streamPlayer, path] = playersOf(*audioFile);
  if (!player && !streamPlayer) return;
  platform::logf("Paused playing audio sample '%s'", path.c_str());
  if (player) {
    player->audio->pause();
  } else {
    streamPlayer->pause();
  }
  evalJs(stateCall(mediaId, kMediaPaused));
}

void VKRSound::seekToAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const double position = command.argumentAtIndex(1).doubleOr(0) / 1000;
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  const auto [player, streamPlayer, path] = playersOf(*audioFile);
  if (player) {
    platform::media::AudioPlayer& audio = *player->audio;
    if (position >= audio.duration()) {
      audio.stop();
      audio.setCurrentTime(0);
      evalJs(numberCall(mediaId, kMediaPosition, "%.3f", 0) + "\n" +
             stateCall(mediaId, kMediaStopped));
    } else {
      audio.setCurrentTime(position);
      evalJs(numberCall(mediaId, kMediaPosition, "%f", position));
    }
  } else if (streamPlayer) {
    const bool wasPlaying = streamPlayer->rate() > 0 && !streamPlayer->error();
    streamPlayer->seek(position, [stream = streamPlayer, wasPlaying](bool) {
      if (wasPlaying) stream->play();
    });
  }
}

void VKRSound::setVolume(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const double volume = command.argumentAtIndex(1).doubleOr(1.0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  std::shared_ptr<VKRAudioPlayer> player;
  {
    MutexLock lock(mutex_);
    audioFile->volume = volume;
    player = audioFile->player;
  }
  if (player) player->audio->setVolume(static_cast<float>(volume));
}

void VKRSound::setRate(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const double rate = command.argumentAtIndex(1).doubleOr(1.0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  std::shared_ptr<VKRAudioPlayer> player;
  std::shared_ptr<platform::media::StreamPlayer> streamPlayer;
  {
    MutexLock lock(mutex_);
    audioFile->rate = rate;
    player = audioFile->player;
    streamPlayer = audioFile->streamPlayer;
  }
  if (player) {
    player->audio->setEnableRate(true);
    player->audio->setRate(static_cast<float>(rate));
  }
  if (streamPlayer) streamPlayer->setRate(static_cast<float>(rate));
}

void VKRSound::getCurrentPositionAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  std::shared_ptr<VKRAudioPlayer> player;
  std::shared_ptr<platform::media::StreamPlayer> streamPlayer;
  if (audioFile) {
    MutexLock lock(mutex_);
    player = audioFile->player;
    streamPlayer = audioFile->streamPlayer;
  }
  double position = -1;
  if (player && player->audio->isPlaying()) {
    position = roundedToMilliseconds(player->audio->currentTime());
  }
  if (streamPlayer) position = streamPlayer->currentTime();
  evalJs(numberCall(mediaId, kMediaPosition, "%.3f", position));
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, position),
                               command.callbackId());
  }
}

void VKRSound::release(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  VKRAudioFile released;
  bool hadSession = false;
  {
    MutexLock lock(mutex_);
    auto it = soundCache_.find(mediaId);
    if (mediaId.empty() || it == soundCache_.end()) return;
    released = *it->second;
    soundCache_.erase(it);
    hadSession = hasSession_;
    hasSession_ = false;
  }
  if (released.player && released.player->audio->isPlaying()) released.player->audio->stop();
  if (released.recorder && released.recorder->audio->isRecording()) {
    released.recorder->audio->stop();
  }
  if (released.streamPlayer) released.streamPlayer->pause();
  if (hadSession) AudioSession::sharedInstance().setActive(false);
  platform::logf("Media with id %s released", mediaId.c_str());
}

void VKRSound::startRecordingAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  const std::string resourcePath = stringArgument(command, 1);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForResource(resourcePath, mediaId, true, true);
  bool hasURL = false;
  std::string objectPath = resourcePath;
  if (audioFile) {
    MutexLock lock(mutex_);
    hasURL = audioFile->resourceURL.has_value();
    objectPath = audioFile->resourcePath;
  }
  if (!hasURL) {
    sendError(mediaId, kMediaErrAborted,
              platform::format("Could not record audio at '%s'", objectPath.c_str()));
    return;
  }
  std::weak_ptr<VKRSound> weak = weak_from_this();
  AudioSession::sharedInstance().requestRecordPermission([weak, audioFile, mediaId](bool granted) {
    std::shared_ptr<VKRSound> self = weak.lock();
    if (!self) return;
    if (granted) {
      self->startRecording(audioFile, mediaId);
      return;
    }
    const std::string message = "Error creating audio session, microphone permission denied.";
    platform::logf("%s", message.c_str());
    {
      MutexLock lock(self->mutex_);
      audioFile->recorder.reset();
    }
    self->deactivateSession();
    self->sendError(mediaId, kMediaErrAborted, message);
  });
}

void VKRSound::startRecording(const std::shared_ptr<VKRAudioFile>& audioFile,
                              const std::string& mediaId) {
  std::shared_ptr<VKRAudioRecorder> previous;
  std::optional<URL> url;
  std::string path;
  {
    MutexLock lock(mutex_);
    previous = std::move(audioFile->recorder);
    audioFile->recorder.reset();
    url = audioFile->resourceURL;
    path = audioFile->resourcePath;
    hasSession_ = true;
  }
  if (previous) previous->audio->stop();
  AudioSession& session = AudioSession::sharedInstance();
  if (session.category() != AudioSession::kCategoryPlayAndRecord) {
    session.setCategory(AudioSession::kCategoryRecord);
  }
  std::string message;
  if (std::optional<platform::Error> error = session.setActive(true)) {
    sendError(
        mediaId, kMediaErrAborted,
        platform::format("Unable to record audio: %s", error->localizedDescription().c_str()));
    return;
  }
  std::optional<std::string> filePath = url ? url->filePath() : std::nullopt;
  platform::Result<std::shared_ptr<platform::media::AudioRecorder>> audio =
      filePath ? platform::media::AudioRecorder::create(*filePath)
               : platform::Result<std::shared_ptr<platform::media::AudioRecorder>>(
                     platform::Error::withDescription(platform::media::kMediaErrorDomain,
                                                      platform::media::kMediaCannotOpen,
                                                      "Not a file on this device"));
  if (!audio.ok()) {
    message = platform::format("Failed to initialize AVAudioRecorder: %s\n",
                               audio.error().localizedDescription().c_str());
  } else {
    auto recorder = std::make_shared<VKRAudioRecorder>(VKRAudioRecorder{mediaId, *audio});
    std::weak_ptr<VKRSound> weak = weak_from_this();
    recorder->audio->setFinishedHandler([weak, mediaId](bool successfully) {
      if (auto self = weak.lock()) self->audioRecorderDidFinishRecording(mediaId, successfully);
    });
    {
      MutexLock lock(mutex_);
      audioFile->recorder = recorder;
    }
    if (recorder->audio->record()) {
      platform::logf("Started recording audio sample '%s'", path.c_str());
      evalJs(stateCall(mediaId, kMediaRunning));
      return;
    }
    message = "Failed to start recording using AVAudioRecorder";
  }
  {
    MutexLock lock(mutex_);
    audioFile->recorder.reset();
  }
  deactivateSession();
  sendError(mediaId, kMediaErrAborted, message);
}

void VKRSound::stopRecordingAudio(const VKRInvokedUrlCommand& command) {
  const std::string mediaId = stringArgument(command, 0);
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  if (!audioFile) return;
  std::shared_ptr<VKRAudioRecorder> recorder;
  std::string path;
  {
    MutexLock lock(mutex_);
    recorder = audioFile->recorder;
    path = audioFile->resourcePath;
  }
  if (!recorder) return;
  platform::logf("Stopped recording audio sample '%s'", path.c_str());
  recorder->audio->stop();
}

void VKRSound::audioPlayerDidFinishPlaying(const std::string& mediaId, bool successfully) {
  std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId);
  std::string js;
  if (audioFile) {
    std::shared_ptr<VKRAudioPlayer> player;
    {
      MutexLock lock(mutex_);
      player = audioFile->player;
      platform::logf("Finished playing audio sample '%s'", audioFile->resourcePath.c_str());
    }
    if (successfully && player) player->audio->setCurrentTime(0);
  }
  deactivateSession();
  if (successfully) {
    evalJs(stateCall(mediaId, kMediaStopped));
  } else {
    sendError(mediaId, kMediaErrDecode, "");
  }
}

void VKRSound::audioRecorderDidFinishRecording(const std::string& mediaId, bool successfully) {
  if (std::shared_ptr<VKRAudioFile> audioFile = audioFileForId(mediaId)) {
    MutexLock lock(mutex_);
    platform::logf("Finished recording audio sample '%s'", audioFile->resourcePath.c_str());
  }
  deactivateSession();
  if (successfully) {
    evalJs(stateCall(mediaId, kMediaStopped));
  } else {
    sendError(mediaId, kMediaErrDecode, "");
  }
}

void VKRSound::itemDidFinishPlaying(const std::string& mediaId) {
  deactivateSession();
  evalJs(stateCall(mediaId, kMediaStopped));
}

void VKRSound::onMemoryWarning() {
  {
    MutexLock lock(mutex_);
    soundCache_.clear();
    hasSession_ = false;
  }
  VKRPlugin::onMemoryWarning();
}

void VKRSound::onReset() {
  std::vector<VKRAudioFile> objects;
  {
    MutexLock lock(mutex_);
    for (const auto& [mediaId, audioFile] : soundCache_) objects.push_back(*audioFile);
    soundCache_.clear();
  }
  for (const VKRAudioFile& audioFile : objects) {
    if (audioFile.player) {
      audioFile.player->audio->stop();
      audioFile.player->audio->setCurrentTime(0);
    }
    if (audioFile.recorder) audioFile.recorder->audio->stop();
  }
}
