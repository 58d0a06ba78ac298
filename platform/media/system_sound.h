#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"

namespace platform::media {

inline constexpr const char* kSystemSoundErrorDomain = "SystemSoundErrorDomain";
enum SystemSoundErrorCode : int64_t { kSystemSoundUnreadable = 1 };

// The id of the system sound that makes the device vibrate.
inline constexpr uint32_t kSystemSoundIDVibrate = 0xFFF;

// Plays a built-in system sound by its id. The only one is the vibration, and a Linux desktop
// has no vibrator: the request is accepted and has no effect (false: nothing was played). Any
// thread.
bool playSystemSoundWithID(uint32_t soundID);

// A short sound from a WAV file, played on the audio output. Main thread only.
class SystemSound {
 public:
  using Completion = std::function<void()>;

  // A sound for the file; an error when there is no readable file.
  static Result<std::shared_ptr<SystemSound>> create(const std::filesystem::path& file);
  virtual ~SystemSound() = default;

  // Starts playing; the completion runs on the main queue once the sound has ended (or failed to
  // play). A sound dropped while playing stops without completing.
  virtual void play(Completion completion) = 0;

  // Plays started in this process, for whoever counts them.
  static uint64_t playCount();
  // The output, as an element name: the machine's audio output unless a host or test sets
  // another ("fakesink" plays silently, in real time).
  static void setAudioSink(std::string elementName);

 protected:
  static void countPlay();
};

}  // namespace platform::media
