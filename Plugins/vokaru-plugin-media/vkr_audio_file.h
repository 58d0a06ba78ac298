#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/url.h"
#include "platform/media/audio_player.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/stream_player.h"

// A local player and the media id its finish is reported for.
struct VKRAudioPlayer {
  std::string mediaId;
  std::shared_ptr<platform::media::AudioPlayer> audio;
};

// A recorder and the media id its finish is reported for.
struct VKRAudioRecorder {
  std::string mediaId;
  std::shared_ptr<platform::media::AudioRecorder> audio;
};

// One media object of the page: its source, resolved once, and what plays or records it. A
// remote source has a stream player of its own.
struct VKRAudioFile {
  std::string resourcePath;
  std::optional<platform::URL> resourceURL;
  std::shared_ptr<VKRAudioPlayer> player;
  std::shared_ptr<VKRAudioRecorder> recorder;
  std::shared_ptr<platform::media::StreamPlayer> streamPlayer;
  std::optional<double> volume;
  std::optional<double> rate;
};
