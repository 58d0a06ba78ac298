#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/clock.h"
#include "platform/foundation/error.h"

namespace platform::media {

// Records the audio source into a ".wav" file (44.1 kHz, mono, 16-bit PCM). Thread-safe; its
// handlers run on the main queue.
class AudioRecorder {
 public:
  static constexpr int kSampleRate = 44100;
  static constexpr int kChannels = 1;

  using Finished = std::function<void(bool successfully)>;
  using EncodeError = std::function<void(const Error& error)>;

  // A recorder into the file at the path: kMediaNotAvailable when the machine has no audio
  // source, kMediaCannotOpen when the file's folder does not exist.
  static Result<std::shared_ptr<AudioRecorder>> create(const std::string& path);
  virtual ~AudioRecorder() = default;

  virtual const std::string& path() const = 0;
  // Creates the file, empty, and readies the source; false when that fails.
  virtual bool prepareToRecord() = 0;
  // Starts (or goes on) recording; false when the source cannot start.
  virtual bool record() = 0;
  // Records and stops by itself after the duration.
  virtual bool recordForDuration(Duration duration) = 0;
  // Ends the recording; the file is complete when the finished handler runs.
  virtual void stop() = 0;
  virtual bool isRecording() const = 0;
  // Seconds recorded so far.
  virtual double currentTime() const = 0;

  // The recording ended: completed, or cut short by a failure.
  virtual void setFinishedHandler(Finished handler) = 0;
  // The file could not be written while recording; the recording stops.
  virtual void setEncodeErrorHandler(EncodeError handler) = 0;
};

}  // namespace platform::media
