#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/dispatch/clock.h"
#include "platform/foundation/error.h"

namespace platform::media {

// The format of a media file or stream, as far as the media framework can tell.
struct MediaFormat {
  double duration = 0;  // seconds
  bool hasAudio = false;
  // Of the first audio track: samples per second, channels and bits per second (for PCM, what
  // its samples take).
  int sampleRate = 0;
  int channels = 0;
  int64_t audioBitrate = 0;
  // The first video track's natural size; absent without a video track.
  struct Size {
    double width = 0;
    double height = 0;
  };
  std::optional<Size> videoSize;
};

// Reads the format of the media at the URI ("file://…", "http://…"); kMediaCannotOpen when it is
// missing or not media. Blocks up to the timeout: call it off the main thread where it matters.
Result<MediaFormat> discoverMediaFormat(const std::string& uri, Duration timeout = seconds(10));

}  // namespace platform::media
