#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"

namespace platform::media {

// Plays a sound from the network (an "http://" or "https://" URL) while it downloads. Playing
// starts with play() or a rate above 0. Thread-safe; its handlers run on the main queue.
class StreamPlayer {
 public:
  using Handler = std::function<void()>;

  static std::shared_ptr<StreamPlayer> create(const std::string& url);
  virtual ~StreamPlayer() = default;

  virtual const std::string& url() const = 0;
  virtual void play() = 0;
  virtual void pause() = 0;
  // 0 while paused; setting a rate above 0 plays at that rate.
  virtual float rate() const = 0;
  virtual void setRate(float rate) = 0;
  // Seconds from the start.
  virtual double currentTime() const = 0;
  // The stream's duration in seconds, waiting (up to a few seconds) for the stream to open; 0
  // when it cannot be known.
  virtual double duration() = 0;
  // Seeks to the position (seconds); the completion runs on the main queue with whether it was
  // done.
  virtual void seek(double seconds, std::function<void(bool finished)> completion) = 0;
  // What made the stream fail, once it did.
  virtual std::optional<Error> error() const = 0;

  // The stream played to its end.
  virtual void setEndHandler(Handler handler) = 0;
  // Playing stalled for want of data.
  virtual void setStalledHandler(Handler handler) = 0;
};

}  // namespace platform::media
