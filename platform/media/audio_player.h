#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"

namespace platform::media {

// Plays one local sound file: prepare, play, pause, stop, position, volume, rate and repeats.
// Thread-safe. The finished handler runs on the main queue when playing comes to its end (after
// the last repeat) or fails.
class AudioPlayer {
 public:
  using Finished = std::function<void(bool successfully)>;

  // A player for the file at the path: kMediaCannotOpen when it is missing or holds no audio.
  // Reads the file's format, so it blocks briefly.
  static Result<std::shared_ptr<AudioPlayer>> create(const std::string& path);

  virtual ~AudioPlayer() = default;

  // Loads the sound so that playing starts at once; false when it cannot be played here (no
  // audio output, for one).
  virtual bool prepareToPlay() = 0;
  // Plays from the current time, preparing first when needed; false when it cannot.
  virtual bool play() = 0;
  virtual void pause() = 0;
  // Stops playing; the current time stays where it was.
  virtual void stop() = 0;
  virtual bool isPlaying() const = 0;

  // Seconds from the start.
  virtual double currentTime() const = 0;
  virtual void setCurrentTime(double seconds) = 0;
  virtual double duration() const = 0;

  // How often playing repeats after the first time; -1 repeats without end.
  virtual int numberOfLoops() const = 0;
  virtual void setNumberOfLoops(int loops) = 0;
  // 0 to 1.
  virtual float volume() const = 0;
  virtual void setVolume(float volume) = 0;
  // The rate (0.5 to 2) applies only while rate control is enabled.
  virtual bool enableRate() const = 0;
  virtual void setEnableRate(bool enabled) = 0;
  virtual float rate() const = 0;
  virtual void setRate(float rate) = 0;

  // The file's format: "AVSampleRateKey", "AVNumberOfChannelsKey" and "AVEncoderBitRateKey"
  // (bits per second).
  virtual Dictionary settings() const = 0;

  virtual void setFinishedHandler(Finished handler) = 0;
};

}  // namespace platform::media
