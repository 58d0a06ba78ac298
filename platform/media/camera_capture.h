#pragma once

#include <string>

#include "platform/dispatch/clock.h"
#include "platform/foundation/error.h"

namespace platform::media {

// Takes one picture from the first video device (the camera) and writes it to the path as JPEG
// at the quality (0 to 1). kMediaNotAvailable without a camera. Blocks until the file is written
// or the timeout passes: call it off the main thread.
Status captureStillImage(const std::string& path, double quality, Duration timeout = seconds(10));

// Records video from the camera for the duration into the path (WebM with VP8). Blocks for the
// duration and the time it takes to finish the file: call it off the main thread.
Status captureVideo(const std::string& path, Duration duration);

}  // namespace platform::media
