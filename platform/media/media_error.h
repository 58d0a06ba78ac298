#pragma once

#include <cstdint>

namespace platform::media {

// Errors of the audio and video players, the recorder and the media discoverer.
inline constexpr const char* kMediaErrorDomain = "MediaErrorDomain";
enum MediaErrorCode : int64_t {
  kMediaNotAvailable = 1,  // the machine lacks the device (no microphone, no camera)
  kMediaCannotOpen = 2,    // the file is missing, unreadable or not media
  kMediaFailed = 3,        // the media framework failed while playing or recording
};

}  // namespace platform::media
