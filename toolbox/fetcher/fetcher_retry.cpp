#include "toolbox/fetcher/fetcher_retry.h"

#include <algorithm>
#include <cfloat>

#include "platform/foundation/crypto.h"

// 1.0 + r / 65535.0 with r uniformly drawn from 0..65534: a floor in [1.0, 2.0).
double FetcherRetry::randomMinInterval() {
  return 1.0 + static_cast<double>(platform::randomUInt32() % 65535) / 65535.0;
}

FetcherRetry::FetcherRetry() = default;

double FetcherRetry::drawnMinInterval() const {
  if (!minInterval_) minInterval_ = randomMinInterval();
  return *minInterval_;
}

bool FetcherRetry::enabled() const {
  platform::MutexLock lock(mutex_);
  return enabled_;
}

void FetcherRetry::setEnabled(bool enabled) {
  platform::MutexLock lock(mutex_);
  if (enabled && !enabled_) {
    minInterval_.reset();
    maxInterval_ = -1.0;
    factor_ = 2.0;
    lastInterval_ = 0.0;
  }
  enabled_ = enabled;
}

double FetcherRetry::maxInterval() const {
  platform::MutexLock lock(mutex_);
  return maxInterval_;
}

void FetcherRetry::setMaxInterval(double seconds) {
  platform::MutexLock lock(mutex_);
  maxInterval_ = seconds > 0 ? seconds : -1.0;
}

double FetcherRetry::minInterval() const {
  platform::MutexLock lock(mutex_);
  return drawnMinInterval();
}

void FetcherRetry::setMinInterval(double seconds) {
  platform::MutexLock lock(mutex_);
  if (seconds > 0) {
    minInterval_ = seconds;
  } else {
    minInterval_.reset();
  }
}

void FetcherRetry::setDefaultMaxInterval(bool isRead) {
  platform::MutexLock lock(mutex_);
  if (enabled_ && maxInterval_ <= 0) maxInterval_ = isRead ? 60.0 : 600.0;
}

double FetcherRetry::nextInterval() const {
  platform::MutexLock lock(mutex_);
  double delay = lastInterval_ * factor_;
  if (maxInterval_ > 0 && delay >= maxInterval_) delay = maxInterval_;
  return std::max(delay, drawnMinInterval());
}

bool FetcherRetry::windowClosed(double next, std::optional<platform::Date> started) const {
  platform::MutexLock lock(mutex_);
  const bool pastCeiling = next >= maxInterval_;
  const bool pastDeadline =
      maxInterval_ > 0 && started &&
      platform::now().secondsSince1970 - started->secondsSince1970 > 3 * maxInterval_;
  return pastCeiling || pastDeadline;
}

void FetcherRetry::arm(double next, platform::Work work) {
  platform::MutexLock lock(mutex_);
  const double delay = std::min(next, maxInterval_ > 0 ? maxInterval_ : DBL_MAX);
  lastInterval_ = delay;
  timer_ = platform::dispatchAfter(platform::seconds(std::min(delay, 1e9)), platform::mainQueue(),
                                   std::move(work));
  armed_ = true;
}

bool FetcherRetry::disarm() {
  platform::MutexLock lock(mutex_);
  if (!armed_) return false;
  timer_.cancel();
  timer_ = platform::Timer();
  armed_ = false;
  return true;
}

bool FetcherRetry::armed() const {
  platform::MutexLock lock(mutex_);
  return armed_;
}

void FetcherRetry::countTry() {
  platform::MutexLock lock(mutex_);
  ++count_;
}

uint64_t FetcherRetry::count() const {
  platform::MutexLock lock(mutex_);
  return count_;
}

bool FetcherRetry::attemptedAuthRefresh() const {
  platform::MutexLock lock(mutex_);
  return attemptedAuthRefresh_;
}

void FetcherRetry::markAuthRefreshAttempted() {
  platform::MutexLock lock(mutex_);
  attemptedAuthRefresh_ = true;
}
