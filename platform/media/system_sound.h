#pragma once

#include <functional>
#include <string>

namespace platform::media {

// Plays a short sound file once without waiting for it (alert sounds, beeps). The completion, if
// any, runs on the main queue once the sound has played, or at once when it cannot be played
// (a missing or unreadable file, no audio output), which is logged. Any thread.
void playSystemSound(const std::string& path, std::function<void()> completion = nullptr);

}  // namespace platform::media
