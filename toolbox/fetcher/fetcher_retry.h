#pragma once

// A fetcher's retries: whether they are on, the back-off between tries, the timer of the next
// try and the count of tries. Thread-safe: the state sits under the owner's lock; the timer's
// work runs with it released.

#include <cstdint>
#include <optional>

#include "platform/dispatch/timer.h"
#include "platform/foundation/value.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherRetry {
 public:
  FetcherRetry();

  bool enabled() const;
  // Turning retries on starts the back-off afresh.
  void setEnabled(bool enabled);
  double maxInterval() const;
  void setMaxInterval(double seconds);
  double minInterval() const;
  void setMinInterval(double seconds);
  // The ceiling a fetch gets when none was set: a minute for reads, ten for the rest.
  void setDefaultMaxInterval(bool isRead);
  // The back-off's next delay (without a server's Retry-After).
  double nextInterval() const;
  // Whether the retry window of a fetch that began at `started` is over for a delay of `next`.
  bool windowClosed(double next, std::optional<platform::Date> started) const;

  // Arms the timer for `delay` (capped by the ceiling); the work runs on the main queue.
  void arm(double delay, platform::Work work);
  // Cancels the timer; answers whether one was armed.
  bool disarm();
  bool armed() const;
  // The timer fired: one more try.
  void countTry();
  uint64_t count() const;
  // A refused authorisation is refreshed once in a fetcher's life.
  bool attemptedAuthRefresh() const;
  void markAuthRefreshAttempted();

  VKR_LOCKED_PROPERTY(double, factor, setFactor, factor_)

 private:
  // A floor in [1.0, 2.0), drawn anew when no positive one is given.
  static double randomMinInterval();
  // The floor, drawn on first use: most fetches never retry, and the draw reads the system's
  // random source.
  double drawnMinInterval() const VKR_REQUIRES(mutex_);

  mutable platform::Mutex mutex_;
  bool enabled_ VKR_GUARDED_BY(mutex_) = false;
  platform::Timer timer_ VKR_GUARDED_BY(mutex_);
  bool armed_ VKR_GUARDED_BY(mutex_) = false;
  uint64_t count_ VKR_GUARDED_BY(mutex_) = 0;
  double maxInterval_ VKR_GUARDED_BY(mutex_) = -1.0;
  mutable std::optional<double> minInterval_ VKR_GUARDED_BY(mutex_);
  double factor_ VKR_GUARDED_BY(mutex_) = 0;
  double lastInterval_ VKR_GUARDED_BY(mutex_) = 0;
  bool attemptedAuthRefresh_ VKR_GUARDED_BY(mutex_) = false;
};
