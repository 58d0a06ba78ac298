// Retry with back-off: which failures are tried again, after what delay, and the timer between
// tries. Delays run on the platform clock (virtual time in tests).

#include <cfloat>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/url_error.h"
#include "toolbox/fetcher/retry_after.h"
#include "toolbox/fetcher/session_fetcher.h"

using platform::Error;

bool ZSDK_ZTMSessionFetcher::isRetryEnabled() const {
  std::lock_guard lock(mutex_);
  return isRetryEnabled_;
}

void ZSDK_ZTMSessionFetcher::setRetryEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  if (enabled && !isRetryEnabled_) {
    setMinRetryInterval(0.0);
    setMaxRetryInterval(-1.0);
    retryFactor_ = 2.0;
    lastRetryInterval_ = 0.0;
  }
  isRetryEnabled_ = enabled;
}

double ZSDK_ZTMSessionFetcher::maxRetryInterval() const {
  std::lock_guard lock(mutex_);
  return maxRetryInterval_;
}

void ZSDK_ZTMSessionFetcher::setMaxRetryInterval(double seconds) {
  std::lock_guard lock(mutex_);
  maxRetryInterval_ = seconds > 0 ? seconds : -1.0;
}

double ZSDK_ZTMSessionFetcher::minRetryInterval() const {
  std::lock_guard lock(mutex_);
  return minRetryInterval_;
}

void ZSDK_ZTMSessionFetcher::setMinRetryInterval(double seconds) {
  std::lock_guard lock(mutex_);
  // Anything but a positive value draws a new random floor, as at creation.
  minRetryInterval_ = seconds > 0 ? seconds : randomMinRetryInterval();
}

double ZSDK_ZTMSessionFetcher::retryFactor() const {
  std::lock_guard lock(mutex_);
  return retryFactor_;
}

void ZSDK_ZTMSessionFetcher::setRetryFactor(double factor) {
  std::lock_guard lock(mutex_);
  retryFactor_ = factor;
}

uint64_t ZSDK_ZTMSessionFetcher::retryCount() const {
  std::lock_guard lock(mutex_);
  return retryCount_;
}

bool ZSDK_ZTMSessionFetcher::hasRetryTimer() const {
  std::lock_guard lock(mutex_);
  return hasRetryTimer_;
}

bool ZSDK_ZTMSessionFetcher::hasRetryAfterInterval() const {
  std::optional<platform::net::HTTPHeaderFields> headers = responseHeaders();
  return headers && headers->contains("Retry-After");
}

double ZSDK_ZTMSessionFetcher::retryAfterInterval() const {
  std::optional<platform::net::HTTPHeaderFields> headers = responseHeaders();
  std::optional<std::string> value = headers ? headers->value("Retry-After") : std::nullopt;
  return value ? retryAfterSeconds(*value, platform::now()) : 0.0;
}

double ZSDK_ZTMSessionFetcher::nextRetryInterval() const {
  if (statusCode() == 503 && hasRetryAfterInterval()) return retryAfterInterval();
  std::lock_guard lock(mutex_);
  double delay = lastRetryInterval_ * retryFactor_;
  if (maxRetryInterval_ > 0 && delay >= maxRetryInterval_) delay = maxRetryInterval_;
  return std::max(delay, minRetryInterval_);
}

bool ZSDK_ZTMSessionFetcher::isRetryError(const std::optional<Error>& error) {
  if (!error) return false;
  struct Retryable {
    const char* domain;
    int64_t code;
  };
  static constexpr Retryable kRetryable[] = {
      {kZTMSessionFetcherStatusDomain, 408},
      {kZTMSessionFetcherStatusDomain, 502},
      {kZTMSessionFetcherStatusDomain, 503},
      {kZTMSessionFetcherStatusDomain, 504},
      {platform::kURLErrorDomain, platform::kURLErrorTimedOut},
      {platform::kURLErrorDomain, platform::kURLErrorNetworkConnectionLost},
  };
  for (const Retryable& entry : kRetryable) {
    if (error->domain() == entry.domain && error->code() == entry.code) return true;
  }
  return false;
}

void ZSDK_ZTMSessionFetcher::shouldRetryNowForStatus(int status, const std::optional<Error>& error,
                                                     std::function<void(bool)> response) {
  const bool retryAfter = hasRetryAfterInterval();
  const double next = nextRetryInterval();
  std::unique_lock lock(mutex_);
  // A refused authorisation is refreshed once in a fetcher's life.
  bool refreshDue = false;
  if (authorizer_ && !hasAttemptedAuthRefresh_ && status == 401 && authorizer_->primeForRefresh()) {
    refreshDue = true;
    hasAttemptedAuthRefresh_ = true;
    if (request_) request_->headers.remove("Authorization");
  }
  const auto answer = [&](bool value) {
    lock.unlock();
    response(value);
  };
  if (!isRetryEnabled_) return answer(refreshDue);
  if (!retryAfter) {
    const bool pastCeiling = next >= maxRetryInterval_;
    const bool pastDeadline =
        maxRetryInterval_ > 0 && initialRequestDate_ &&
        platform::now().secondsSince1970 - initialRequestDate_->secondsSince1970 >
            3 * maxRetryInterval_;
    if (pastCeiling || pastDeadline) return answer(refreshDue);
  }
  platform::Value userInfo = platform::Value::dictionary();
  if (downloadedData_ && !downloadedData_->empty()) {
    userInfo.set(kZTMSessionFetcherStatusDataKey, *downloadedData_);
  }
  const Error statusError(kZTMSessionFetcherStatusDomain, status, std::move(userInfo));
  const Error judged = error.value_or(statusError);
  const bool suggestion =
      refreshDue || isRetryError(judged) || (error.has_value() && isRetryError(statusError));
  if (RetryBlock block = retryBlock_) {
    lock.unlock();
    invokeOnCallbackQueueUnlessStopped(
        [block, suggestion, judged, response] { block(suggestion, judged, response); });
    return;
  }
  answer(suggestion);
}

void ZSDK_ZTMSessionFetcher::beginRetryTimer() {
  if (!platform::isMainThread()) {
    callbackGroup_.async(platform::mainQueue(),
                         [self = shared_from_this()] { self->beginRetryTimer(); });
    return;
  }
  const double next = nextRetryInterval();
  destroyRetryTimer();
  {
    std::lock_guard lock(mutex_);
    const double delay = std::min(next, maxRetryInterval_ > 0 ? maxRetryInterval_ : DBL_MAX);
    lastRetryInterval_ = delay;
    retryTimer_ =
        platform::dispatchAfter(platform::seconds(std::min(delay, 1e9)), platform::mainQueue(),
                                [self = shared_from_this()] { self->retryTimerFired(); });
    hasRetryTimer_ = true;
  }
  postNotification(kZTMSessionFetcherRetryDelayStartedNotification);
}

void ZSDK_ZTMSessionFetcher::retryTimerFired() {
  destroyRetryTimer();
  {
    std::lock_guard lock(mutex_);
    ++retryCount_;
  }
  retryFetch();
}

void ZSDK_ZTMSessionFetcher::destroyRetryTimer() {
  {
    std::lock_guard lock(mutex_);
    if (!hasRetryTimer_) return;
    retryTimer_.cancel();
    retryTimer_ = platform::Timer();
    hasRetryTimer_ = false;
  }
  postNotification(kZTMSessionFetcherRetryDelayStoppedNotification);
}

void ZSDK_ZTMSessionFetcher::retryFetch() {
  stopFetchReleasingCallbacks(false);
  {
    std::lock_guard lock(mutex_);
    if (didCreateSessionIdentifier_) {
      // The next try makes an identifier and a background session of its own.
      forgetSessionIdentifierForFetcher();
      configuration_.reset();
    }
  }
  beginFetchWithCompletionHandler(completionHandler());
}
