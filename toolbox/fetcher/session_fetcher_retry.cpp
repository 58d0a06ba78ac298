// Retry with back-off: which failures are tried again, after what delay, and the timer between
// tries. Delays run on the platform clock (virtual time in tests).

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/url_error.h"
#include "toolbox/fetcher/retry_after.h"
#include "toolbox/fetcher/session_fetcher.h"

using platform::Error;

bool ZSDK_ZTMSessionFetcher::isRetryEnabled() const { return retry_.enabled(); }
void ZSDK_ZTMSessionFetcher::setRetryEnabled(bool enabled) { retry_.setEnabled(enabled); }
double ZSDK_ZTMSessionFetcher::maxRetryInterval() const { return retry_.maxInterval(); }
void ZSDK_ZTMSessionFetcher::setMaxRetryInterval(double seconds) { retry_.setMaxInterval(seconds); }
double ZSDK_ZTMSessionFetcher::minRetryInterval() const { return retry_.minInterval(); }
void ZSDK_ZTMSessionFetcher::setMinRetryInterval(double seconds) { retry_.setMinInterval(seconds); }
double ZSDK_ZTMSessionFetcher::retryFactor() const { return retry_.factor(); }
void ZSDK_ZTMSessionFetcher::setRetryFactor(double factor) { retry_.setFactor(factor); }
uint64_t ZSDK_ZTMSessionFetcher::retryCount() const { return retry_.count(); }
bool ZSDK_ZTMSessionFetcher::hasRetryTimer() const { return retry_.armed(); }

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
  return retry_.nextInterval();
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
  // A refused authorisation is refreshed once in a fetcher's life.
  bool refreshDue = false;
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer = this->authorizer();
  if (authorizer && !retry_.attemptedAuthRefresh() && status == 401 &&
      authorizer->primeForRefresh()) {
    refreshDue = true;
    retry_.markAuthRefreshAttempted();
    request_.dropAuthorization();
  }
  if (!retry_.enabled()) return response(refreshDue);
  if (!retryAfter && retry_.windowClosed(next, task_.started())) return response(refreshDue);
  platform::Value userInfo = platform::Value::dictionary();
  if (std::optional<platform::Bytes> body = task_.body(); body && !body->empty()) {
    userInfo.set(kZTMSessionFetcherStatusDataKey, *body);
  }
  const Error statusError(kZTMSessionFetcherStatusDomain, status, std::move(userInfo));
  const Error judged = error.value_or(statusError);
  const bool suggestion =
      refreshDue || isRetryError(judged) || (error.has_value() && isRetryError(statusError));
  if (RetryBlock block = retryBlock()) {
    invokeOnCallbackQueueUnlessStopped(
        [block, suggestion, judged, response] { block(suggestion, judged, response); });
    return;
  }
  response(suggestion);
}

void ZSDK_ZTMSessionFetcher::beginRetryTimer() {
  if (!platform::isMainThread()) {
    callbacks_.group().async(platform::mainQueue(),
                             [self = shared_from_this()] { self->beginRetryTimer(); });
    return;
  }
  const double next = nextRetryInterval();
  destroyRetryTimer();
  retry_.arm(next, [self = shared_from_this()] { self->retryTimerFired(); });
  postNotification(kZTMSessionFetcherRetryDelayStartedNotification);
}

void ZSDK_ZTMSessionFetcher::retryTimerFired() {
  destroyRetryTimer();
  retry_.countTry();
  retryFetch();
}

void ZSDK_ZTMSessionFetcher::destroyRetryTimer() {
  if (retry_.disarm()) postNotification(kZTMSessionFetcherRetryDelayStoppedNotification);
}

void ZSDK_ZTMSessionFetcher::retryFetch() {
  stopFetchReleasingCallbacks(false);
  if (identity_.created()) {
    // The next try makes an identifier and a background session of its own.
    forgetSessionIdentifierForFetcher();
    request_.setConfiguration(std::nullopt);
  }
  beginFetchWithCompletionHandler(completionHandler());
}
