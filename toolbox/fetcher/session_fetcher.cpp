#include "toolbox/fetcher/session_fetcher.h"

#include <cstdarg>
#include <thread>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/class_registry.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"
#include "platform/net/host.h"
#include "platform/storage/file_manager.h"
#include "toolbox/logger/logger.h"

using platform::Error;
using platform::net::URLRequest;
using platform::net::URLSession;
using platform::net::URLSessionConfiguration;
using platform::net::URLSessionTask;

PLATFORM_REGISTER_CLASS(ZSDK_ZTMSessionFetcher, ZSDK_ZTMSessionFetcher);

namespace {

struct ClassState {
  std::mutex mutex;
  ZSDK_ZTMSessionFetcher::TestBlock globalTestBlock;
  std::shared_ptr<ZSDK_ZTMSessionCookieStorage> staticCookieStorage;
};
ClassState& classState() {
  static ClassState* state = new ClassState();
  return *state;
}

constexpr const char* kBeginFunction = "-[ZSDK_ZTMSessionFetcher beginFetchMayDelay:mayAuthorize:]";

}  // namespace

// 1.0 + r / 65535.0 with r uniformly drawn from 0..65534: a floor in [1.0, 2.0).
double ZSDK_ZTMSessionFetcher::randomMinRetryInterval() {
  return 1.0 + static_cast<double>(platform::randomUInt32() % 65535) / 65535.0;
}

// Creation.

ZSDK_ZTMSessionFetcher::ZSDK_ZTMSessionFetcher(std::optional<URLRequest> request,
                                               std::optional<URLSessionConfiguration> configuration)
    : request_(std::move(request)),
      configuration_(std::move(configuration)),
      callbackQueue_(platform::mainQueue()),
      delegateQueue_(platform::mainQueue()),
      minRetryInterval_(randomMinRetryInterval()) {
  if (request_ && request_->httpBody)
    bodyLength_ = static_cast<int64_t>(request_->httpBody->size());
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithRequest(
    std::optional<URLRequest> request) {
  return std::make_shared<ZSDK_ZTMSessionFetcher>(std::move(request));
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithURL(std::optional<URL> url) {
  URLRequest request;
  request.url = std::move(url);
  return fetcherWithRequest(std::move(request));
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithURLString(std::string_view text) {
  platform::Result<URL> url = URL::parse(text);
  return fetcherWithURL(url.ok() ? std::optional<URL>(*url) : std::nullopt);
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithDownloadResumeData(
    Bytes resumeData) {
  Ptr fetcher = fetcherWithRequest(std::nullopt);
  fetcher->setComment("Resuming download");
  fetcher->setDownloadResumeData(std::move(resumeData));
  return fetcher;
}

std::string ZSDK_ZTMSessionFetcher::description() const {
  std::lock_guard lock(mutex_);
  return platform::format("ZSDK_ZTMSessionFetcher %p (%s)", static_cast<const void*>(this),
                          request_ ? request_->urlString().c_str() : "");
}

// Starting.

void ZSDK_ZTMSessionFetcher::beginFetchWithCompletionHandler(CompletionHandler handler) {
  setCompletionHandler(std::move(handler));
  beginFetchMayDelay(true, true);
}

Error ZSDK_ZTMSessionFetcher::beginError(int64_t code) const {
  std::lock_guard lock(mutex_);
  const bool hasURL = request_ && request_->url;
  return Error(kZTMSessionFetcherErrorDomain, code,
               platform::Value::dictionary(
                   {{platform::kURLErrorFailingURLStringKey,
                     hasURL ? request_->urlString() : std::string("(missing URL)")}}));
}

void ZSDK_ZTMSessionFetcher::beginFetchMayDelay(bool mayDelay, bool mayAuthorize) {
  Ptr self = shared_from_this();
  std::unique_lock lock(mutex_);
  // One task at a time, and something to fetch.
  if (sessionTask_) {
    if (!sessionIdentifier_.empty()) return;  // a restored background fetch already runs
    lock.unlock();
    return failToBeginFetchWithError(beginError(kZTMSessionFetcherErrorDownloadFailed));
  }
  const std::optional<URL> url = request_ ? request_->url : std::nullopt;
  if (!url && !downloadResumeData_ && sessionIdentifier_.empty()) {
    lock.unlock();
    return failToBeginFetchWithError(beginError(kZTMSessionFetcherErrorDownloadFailed));
  }

  // Plain-text schemes only where allowed.
  const std::string scheme = url ? url->scheme() : std::string();
  if (url && scheme != "data" && scheme != "https") {
    bool allowed = false;
    if (platform::net::isLocalHost(url->host().value_or(""))) {
      allowed = allowLocalhostRequest_;
      if (!allowed) {
        ZSDK_ZTMLogger::sharedLogger()->logFuncError(
            kBeginFunction, "Localhost fetch disallowed for %s", url->absoluteString().c_str());
      }
    } else {
      for (const std::string& insecure : allowedInsecureSchemes_) {
        if (platform::net::equalsIgnoringCase(insecure, scheme)) allowed = true;
      }
      if (!allowed) {
        ZSDK_ZTMLogger::sharedLogger()->logFuncError(kBeginFunction, "Fetch disallowed for %s",
                                                     url->absoluteString().c_str());
      }
    }
    if (!allowed) {
      lock.unlock();
      return failToBeginFetchWithError(beginError(kZTMSessionFetcherErrorInsecureRequest));
    }
  }

  // Cookies, and whether this is the restoration of a background session.
  if (!cookieStorage_) cookieStorage_ = staticCookieStorage();
  const bool restoring = !sessionIdentifier_.empty() && !request_;
  canShareSession_ = restoring ? false : !useBackgroundSession_;

  // The session.
  if (!session_) {
    std::shared_ptr<URLSession> shared;
    if (canShareSession_ && service_) shared = service_->session();
    if (shared) {
      session_ = std::move(shared);
    } else {
      if (!configuration_) {
        URLSessionConfiguration made;
        if (sessionIdentifier_.empty() && !useBackgroundSession_) {
          made = URLSessionConfiguration::ephemeral();
        } else {
          if (sessionIdentifier_.empty()) createSessionIdentifierWithMetadata(std::nullopt);
          registerForSessionIdentifier();
          made = URLSessionConfiguration::background(sessionIdentifier_);
          useBackgroundSession_ = true;
          canShareSession_ = false;
        }
        made.minimumTLSVersion = platform::net::TLSProtocolVersion::TLS12;
        configuration_ = std::move(made);
      }
      configuration_->cookieStorage = cookieStorage_;
      if (configurationBlock_) configurationBlock_(*this, *configuration_);
      std::shared_ptr<platform::net::URLSessionDelegate> delegate;
      if (service_ && canShareSession_) delegate = service_->sessionDelegate();
      const bool ownDelegate = !delegate;
      if (ownDelegate) delegate = self;
      session_ = URLSession::make(*configuration_, delegate, delegateQueue_);
      if (service_) service_->fetcherDidCreateSession(*this);
      if (session_ && ownDelegate) shouldInvalidateSession_ = true;
    }
  }

  // A restored background session reattaches to its tasks.
  if (restoring) {
    shouldInvalidateSession_ = true;
    lock.unlock();
    return restoreBackgroundSession();
  }

  // A fresh body, unless the service holds the fetch back for now.
  downloadedData_.reset();
  downloadedLength_ = 0;
  if (mayDelay && service_ && !service_->fetcherShouldBeginFetching(*this)) {
    if (canShareSession_) session_.reset();
    return;
  }

  // Method and body.
  // A fetch from resume data has no request of its own: it goes with an empty one.
  URLRequest& request = request_ ? *request_ : request_.emplace();
  const std::string method =
      request.valueForHTTPHeaderField("X-HTTP-Method-Override").value_or(request.httpMethod);
  bool isGET = method.empty() || method == "GET";
  const bool needsUploadTask = useUploadTask_ || bodyFileURL_ || bodyStreamProvider_;
  if (bodyData_ || bodyStreamProvider_ || request.httpBodyStream) {
    if (isGET) {
      request.httpMethod = "POST";
      isGET = false;
    }
    if (bodyData_ && !needsUploadTask) request.httpBody = bodyData_;
  }

  // Authorisation first, when the request needs it.
  if (mayAuthorize && authorizer_ && scheme != "data" &&
      !authorizer_->isAuthorizedRequest(request)) {
    if (canShareSession_) session_.reset();
    lock.unlock();
    return authorizeRequest();
  }

  // The retry ceiling.
  if (isRetryEnabled_ && maxRetryInterval_ <= 0) {
    maxRetryInterval_ = isGET || method == "HEAD" ? 60.0 : 600.0;
  }

  // The task.
  platform::net::TaskPtr task;
  if (downloadResumeData_) {
    task = session_->downloadTaskWithResumeData(*downloadResumeData_);
  } else if (!destinationFileURL_ || scheme == "data") {
    if (needsUploadTask) {
      if (bodyFileURL_) {
        task = session_->uploadTask(request,
                                    std::filesystem::path(bodyFileURL_->filePath().value_or("")));
      } else if (bodyData_) {
        task = session_->uploadTask(request, *bodyData_);
      } else {
        task = session_->uploadTaskWithStreamedRequest(request);
      }
    } else {
      task = session_->dataTask(request);
    }
    if (!accumulateDataBlock_) downloadedData_ = Bytes();
  } else {
    task = session_->downloadTask(request);
  }
  if (!taskDescription_.empty()) task->setTaskDescription(taskDescription_);
  setSessionTaskLocked(task);

  // A test block simulates the fetch.
  if (!testBlock_) {
    std::lock_guard classLock(classState().mutex);
    testBlock_ = classState().globalTestBlock;
  }
  isUsingTestBlock_ = testBlock_ != nullptr;
  // The platform keeps a foreground fetch running in the background; on Linux an app is never
  // suspended, so there is no background-execution task to hold (and none expires).
  if (!initialRequestDate_) initialRequestDate_ = platform::now();
  const bool simulate = isUsingTestBlock_;
  lock.unlock();

  // Announce the start, then run the task or its simulation.
  sendStopNotificationIfNeeded();
  addPersistedBackgroundSessionToDefaults();
  {
    std::lock_guard relock(mutex_);
    isStopNotificationNeeded_ = true;
  }
  postNotification(kZTMSessionFetcherStartedNotification);
  if (auto service = this->service()) service->fetcherDidBeginFetching(*this);
  if (simulate) {
    simulateFetchForTestBlock();
  } else {
    task->resume();
  }
}

void ZSDK_ZTMSessionFetcher::authorizeRequest() {
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer = this->authorizer();
  std::optional<URLRequest> request = this->request();
  if (!authorizer || !request) return beginFetchMayDelay(false, false);
  authorizer->authorizeRequest(
      std::move(*request),
      [self = shared_from_this()](URLRequest authorized, std::optional<Error> error) {
        self->authorizerFinished(std::move(authorized), std::move(error));
      });
}

void ZSDK_ZTMSessionFetcher::authorizerFinished(URLRequest request, std::optional<Error> error) {
  if (error) return failToBeginFetchWithError(std::move(error));
  setRequest(std::move(request));
  beginFetchMayDelay(false, false);
}

// Finishing and stopping.

void ZSDK_ZTMSessionFetcher::finishWithError(std::optional<Error> error, bool shouldRetry) {
  removePersistedBackgroundSessionFromDefaults();
  const int status = statusCode();
  std::optional<Bytes> data;
  std::unique_lock lock(mutex_);
  if (!error && status >= 0 && status <= 299) {
    // Success: a body gathered in memory goes to the destination file when there is one.
    if (downloadedData_ && !downloadedData_->empty() && destinationFileURL_) {
      error = writeDestinationFile(*destinationFileURL_, *downloadedData_);
      if (error) {
        downloadMoveError_ = error;
      } else {
        downloadedData_.reset();
      }
    }
    data = downloadedData_;
  } else {
    if (!deferResponseBodyLogging_) {
      logNowWithError(error);
      hasLoggedError_ = true;
    }
    if (!shouldRetry) {
      if (!error) {
        platform::Value userInfo = platform::Value::dictionary();
        if (downloadedData_ && !downloadedData_->empty()) {
          userInfo.set(kZTMSessionFetcherStatusDataKey, *downloadedData_);
        }
        error = Error(kZTMSessionFetcherStatusDomain, status, std::move(userInfo));
      } else {
        ResumeDataBlock resumeBlock = std::exchange(resumeDataBlock_, nullptr);
        const platform::Value& resumeData = error->userInfo()[kZTMSessionFetcherResumeDataKey];
        if (resumeBlock && resumeData.dataIf()) {
          invokeOnCallbackQueueAfterUserStopped(
              true, [resumeBlock, bytes = *resumeData.dataIf()] { resumeBlock(bytes); });
        }
      }
      if (downloadedData_ && !downloadedData_->empty()) data = downloadedData_;
    }
  }
  const bool logDeferred = deferResponseBodyLogging_ || hasLoggedError_;
  lock.unlock();

  if (shouldRetry) beginRetryTimer();
  sendStopNotificationIfNeeded();
  if (!shouldRetry) {
    CompletionHandler handler = completionHandler();
    if (handler) {
      invokeOnCallbackQueueUnlessStopped([handler, data, error] { handler(data, error); });
    }
    stopFetchReleasingCallbacks(shouldReleaseCallbacksUponCompletion());
  }
  if (!logDeferred) logNowWithError(error);
}

std::optional<Error> ZSDK_ZTMSessionFetcher::writeDestinationFile(const URL& destination,
                                                                  const Bytes& data) {
  const std::string path = destination.filePath().value_or("");
  if (!path.empty() && platform::FileManager::writeAtomically(path, data)) return std::nullopt;
  return platform::makeURLError(platform::kURLErrorCannotWriteToFile, path);
}

void ZSDK_ZTMSessionFetcher::failToBeginFetchWithError(std::optional<Error> error) {
  if (!error) error = Error(kZTMSessionFetcherErrorDomain, kZTMSessionFetcherErrorDownloadFailed);
  CompletionHandler handler = completionHandler();
  if (handler)
    invokeOnCallbackQueueUnlessStopped([handler, error] { handler(std::nullopt, error); });
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service;
  std::shared_ptr<URLSession> invalidate;
  {
    std::lock_guard lock(mutex_);
    releaseCallbacks();
    service = service_;
    authorizer_.reset();
    // A session the fetcher made holds the fetcher as its delegate: let it go, or both would
    // live on (a restored background session that found no task, say).
    if (shouldInvalidateSession_ && !sessionTask_) {
      invalidate = std::exchange(session_, nullptr);
      shouldInvalidateSession_ = false;
    }
  }
  if (invalidate) invalidate->finishTasksAndInvalidate();
  if (service) service->fetcherDidStop(*this);
}

void ZSDK_ZTMSessionFetcher::stopFetching() {
  {
    std::lock_guard lock(mutex_);
    userStoppedFetching_ = true;
  }
  stopFetchReleasingCallbacks(true);
}

void ZSDK_ZTMSessionFetcher::stopFetchReleasingCallbacks(bool shouldReleaseCallbacks) {
  Ptr self = shared_from_this();
  removePersistedBackgroundSessionFromDefaults();
  destroyRetryTimer();
  std::shared_ptr<URLSession> invalidate;
  {
    std::lock_guard lock(mutex_);
    platform::net::TaskPtr task = std::exchange(sessionTask_, nullptr);
    bool cancelled = false;
    if (task) {
      if (!isUsingTestBlock_) response_ = task->response();
      if (task->state() != URLSessionTask::State::Completed) {
        cancelled = true;
        if (resumeDataBlock_ && task->kind() == URLSessionTask::Kind::Download) {
          ResumeDataBlock block = std::exchange(resumeDataBlock_, nullptr);
          platform::DispatchGroup group = callbackGroup_;
          group.enter();
          task->cancelByProducingResumeData(
              [self, block, group](std::optional<Bytes> data) mutable {
                self->invokeOnCallbackQueueAfterUserStopped(true, [block, data] { block(data); });
                group.leave();
              });
        } else {
          task->cancel();
        }
      }
    }
    // A cancelled task comes back through finish, which stops again with no task running.
    if (!cancelled && shouldInvalidateSession_ && !systemCompletionHandler()) {
      invalidate = std::exchange(session_, nullptr);
      shouldInvalidateSession_ = false;
    }
  }
  if (invalidate) invalidate->finishTasksAndInvalidate();
  sendStopNotificationIfNeeded();
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service;
  {
    std::lock_guard lock(mutex_);
    if (authorizer_ && request_) authorizer_->stopAuthorizationForRequest(*request_);
    if (shouldReleaseCallbacks) {
      releaseCallbacks();
      authorizer_.reset();
    }
    service = service_;
  }
  if (service) service->fetcherDidStop(*this);
}

void ZSDK_ZTMSessionFetcher::backgroundFetchExpired() {
  CompletionHandler handler = completionHandler();
  if (handler) {
    Error expired(kZTMSessionFetcherErrorDomain, kZTMSessionFetcherErrorBackgroundExpiration);
    invokeOnCallbackQueueUnlessStopped([handler, expired] { handler(std::nullopt, expired); });
  }
  stopFetchReleasingCallbacks(false);
  std::lock_guard lock(mutex_);
  releaseCallbacks();
  authorizer_.reset();
}

void ZSDK_ZTMSessionFetcher::releaseCallbacks() {
  callbackQueue_.reset();
  completionHandler_ = nullptr;
  configurationBlock_ = nullptr;
  didReceiveResponseBlock_ = nullptr;
  willRedirectBlock_ = nullptr;
  sendProgressBlock_ = nullptr;
  receivedProgressBlock_ = nullptr;
  downloadProgressBlock_ = nullptr;
  accumulateDataBlock_ = nullptr;
  willCacheURLResponseBlock_ = nullptr;
  retryBlock_ = nullptr;
  testBlock_ = nullptr;
  resumeDataBlock_ = nullptr;
}

bool ZSDK_ZTMSessionFetcher::isFetching() {
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer;
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service;
  std::optional<URLRequest> request;
  {
    std::lock_guard lock(mutex_);
    if (sessionTask_ || hasRetryTimer_) return true;
    authorizer = authorizer_;
    service = service_;
    request = request_;
  }
  if (authorizer && request && authorizer->isAuthorizingRequest(*request)) return true;
  return service && service->isDelayingFetcher(*this);
}

bool ZSDK_ZTMSessionFetcher::waitForCompletionWithTimeout(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  const auto busy = [this] {
    platform::net::TaskPtr task = sessionTask();
    if (task && task->state() != URLSessionTask::State::Completed) return true;
    if (completionHandler()) return true;
    return !callbackGroup_.wait(std::chrono::milliseconds(100));
  };
  while (busy()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Delegate calls arrive on the main queue, so a wait on the main thread keeps the main loop
    // going whatever the callback queue.
    if (platform::isMainThread()) {
      platform::runMainLoopOnce(std::chrono::milliseconds(1));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}

// Callback dispatch.

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueue(const platform::QueuePtr& queue,
                                                   bool afterUserStopped,
                                                   std::function<void()> block) {
  if (!queue) return;
  callbackGroup_.async(queue,
                       [self = shared_from_this(), afterUserStopped, block = std::move(block)] {
                         if (!afterUserStopped) {
                           std::lock_guard lock(self->mutex_);
                           if (self->userStoppedFetching_) return;
                         }
                         block();
                       });
}

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueueUnlessStopped(std::function<void()> block) {
  invokeOnCallbackQueueAfterUserStopped(false, std::move(block));
}

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueueAfterUserStopped(bool afterUserStopped,
                                                                   std::function<void()> block) {
  invokeOnCallbackQueue(callbackQueue(), afterUserStopped, std::move(block));
}

// Notifications and logging.

void ZSDK_ZTMSessionFetcher::postNotification(const char* name) {
  platform::NotificationCenter::defaultCenter().post(name, this, platform::Value(),
                                                     shared_from_this());
}

void ZSDK_ZTMSessionFetcher::sendStopNotificationIfNeeded() {
  {
    std::lock_guard lock(mutex_);
    if (!isStopNotificationNeeded_) return;
    isStopNotificationNeeded_ = false;
  }
  postNotification(kZTMSessionFetcherStoppedNotification);
}

void ZSDK_ZTMSessionFetcher::logNowWithError(const std::optional<Error>&) {
  // Fetch logs are written only by the debug-logging extension of fetchers, which this build
  // does not have.
}

// Results.

std::optional<ZSDK_ZTMSessionFetcher::URLResponse> ZSDK_ZTMSessionFetcher::response() const {
  std::lock_guard lock(mutex_);
  if (sessionTask_ && !isUsingTestBlock_) {
    if (std::optional<URLResponse> current = sessionTask_->response()) return current;
  }
  return response_;
}

int ZSDK_ZTMSessionFetcher::statusCode() const {
  std::optional<URLResponse> current = response();
  return current ? current->statusCode : 0;
}

std::optional<platform::net::HTTPHeaderFields> ZSDK_ZTMSessionFetcher::responseHeaders() const {
  std::optional<URLResponse> current = response();
  if (!current || !current->isHTTP) return std::nullopt;
  return current->headers;
}

std::optional<platform::Bytes> ZSDK_ZTMSessionFetcher::downloadedData() const {
  std::lock_guard lock(mutex_);
  return downloadedData_;
}

int64_t ZSDK_ZTMSessionFetcher::downloadedLength() const {
  std::lock_guard lock(mutex_);
  return downloadedLength_;
}

int64_t ZSDK_ZTMSessionFetcher::bodyLength() {
  std::lock_guard lock(mutex_);
  if (bodyLength_ == -1) {
    if (bodyData_) {
      bodyLength_ = static_cast<int64_t>(bodyData_->size());
    } else if (bodyFileURL_) {
      std::error_code failed;
      const auto size = std::filesystem::file_size(bodyFileURL_->filePath().value_or(""), failed);
      if (!failed) bodyLength_ = static_cast<int64_t>(size);
    }
  }
  return bodyLength_;
}

// Properties with more to them than a value.

void ZSDK_ZTMSessionFetcher::setSession(std::shared_ptr<URLSession> session) {
  std::lock_guard lock(mutex_);
  if (session == session_) return;
  shouldInvalidateSession_ = session != nullptr;
  session_ = std::move(session);
}

void ZSDK_ZTMSessionFetcher::setSessionTask(platform::net::TaskPtr task) {
  std::lock_guard lock(mutex_);
  setSessionTaskLocked(std::move(task));
}

void ZSDK_ZTMSessionFetcher::setSessionTaskLocked(platform::net::TaskPtr task) {
  if (task == sessionTask_) return;
  if (task && !request_) request_ = task->originalRequest();
  sessionTask_ = std::move(task);
}

void ZSDK_ZTMSessionFetcher::setCookieStorageMethod(int64_t method) {
  std::lock_guard lock(mutex_);
  switch (method) {
    case 1:
      break;
    case 2:
      cookieStorage_ = platform::net::HTTPCookieStorage::shared();
      break;
    case 3:
      cookieStorage_ = std::make_shared<ZSDK_ZTMSessionCookieStorage>();
      break;
    default:
      cookieStorage_.reset();  // the process-wide jar, chosen when the fetch begins
  }
}

std::shared_ptr<ZSDK_ZTMSessionCookieStorage> ZSDK_ZTMSessionFetcher::staticCookieStorage() {
  std::lock_guard lock(classState().mutex);
  if (!classState().staticCookieStorage) {
    classState().staticCookieStorage = std::make_shared<ZSDK_ZTMSessionCookieStorage>();
  }
  return classState().staticCookieStorage;
}

void ZSDK_ZTMSessionFetcher::setGlobalTestBlock(TestBlock block) {
  std::lock_guard lock(classState().mutex);
  classState().globalTestBlock = std::move(block);
}

void ZSDK_ZTMSessionFetcher::setProperties(platform::Value properties) {
  std::lock_guard lock(mutex_);
  properties_ = properties.isDictionary() ? std::move(properties) : platform::Value();
}

void ZSDK_ZTMSessionFetcher::setProperty(const std::string& key, platform::Value value) {
  std::lock_guard lock(mutex_);
  if (value.isNull()) {
    properties_.remove(key);
  } else {
    properties_.set(key, std::move(value));
  }
}

platform::Value ZSDK_ZTMSessionFetcher::propertyForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return properties_[key];
}

void ZSDK_ZTMSessionFetcher::addPropertiesFromDictionary(const platform::Value& dictionary) {
  const platform::Dictionary* entries = dictionary.dictionaryIf();
  if (entries == nullptr) return;
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : *entries) properties_.set(key, value);
}

void ZSDK_ZTMSessionFetcher::setCommentWithFormat(const char* format, ...) {
  std::string text;
  if (format != nullptr) {
    va_list arguments;
    va_start(arguments, format);
    text = platform::vformat(format, arguments);
    va_end(arguments);
  }
  setComment(std::move(text));
}

void ZSDK_ZTMSessionFetcher::setDeferResponseBodyLogging(bool defer) {
  std::lock_guard lock(mutex_);
  if (defer == deferResponseBodyLogging_) return;
  deferResponseBodyLogging_ = defer;
  if (!defer && !hasLoggedError_ && delegateQueue_) {
    delegateQueue_->async([self = shared_from_this()] {
      std::lock_guard relock(self->mutex_);
      self->logNowWithError(std::nullopt);
    });
  }
}

// Plain properties: read and written under the fetcher's lock.

#define ZTM_FETCHER_PROPERTY(Type, getter, setter, field) \
  Type ZSDK_ZTMSessionFetcher::getter() const {           \
    std::lock_guard lock(mutex_);                         \
    return field;                                         \
  }                                                       \
  void ZSDK_ZTMSessionFetcher::setter(Type value) {       \
    std::lock_guard lock(mutex_);                         \
    field = std::move(value);                             \
  }

ZTM_FETCHER_PROPERTY(std::optional<URLRequest>, request, setRequest, request_)
ZTM_FETCHER_PROPERTY(std::optional<URLSessionConfiguration>, configuration, setConfiguration,
                     configuration_)
ZTM_FETCHER_PROPERTY(std::string, taskDescription, setTaskDescription, taskDescription_)
ZTM_FETCHER_PROPERTY(std::optional<platform::Bytes>, bodyData, setBodyData, bodyData_)
ZTM_FETCHER_PROPERTY(std::optional<platform::URL>, bodyFileURL, setBodyFileURL, bodyFileURL_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::BodyStreamProvider, bodyStreamProvider,
                     setBodyStreamProvider, bodyStreamProvider_)
ZTM_FETCHER_PROPERTY(bool, useUploadTask, setUseUploadTask, useUploadTask_)
ZTM_FETCHER_PROPERTY(std::optional<platform::URL>, destinationFileURL, setDestinationFileURL,
                     destinationFileURL_)
ZTM_FETCHER_PROPERTY(std::optional<platform::Bytes>, downloadResumeData, setDownloadResumeData,
                     downloadResumeData_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::CompletionHandler, completionHandler,
                     setCompletionHandler, completionHandler_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::ConfigurationBlock, configurationBlock,
                     setConfigurationBlock, configurationBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::AccumulateDataBlock, accumulateDataBlock,
                     setAccumulateDataBlock, accumulateDataBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::ReceivedProgressBlock, receivedProgressBlock,
                     setReceivedProgressBlock, receivedProgressBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::DownloadProgressBlock, downloadProgressBlock,
                     setDownloadProgressBlock, downloadProgressBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::SendProgressBlock, sendProgressBlock,
                     setSendProgressBlock, sendProgressBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::ResumeDataBlock, resumeDataBlock, setResumeDataBlock,
                     resumeDataBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::DidReceiveResponseBlock, didReceiveResponseBlock,
                     setDidReceiveResponseBlock, didReceiveResponseBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::WillRedirectBlock, willRedirectBlock,
                     setWillRedirectBlock, willRedirectBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::WillCacheURLResponseBlock, willCacheURLResponseBlock,
                     setWillCacheURLResponseBlock, willCacheURLResponseBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::TestBlock, testBlock, setTestBlock, testBlock_)
ZTM_FETCHER_PROPERTY(ZSDK_ZTMSessionFetcher::RetryBlock, retryBlock, setRetryBlock, retryBlock_)
ZTM_FETCHER_PROPERTY(platform::QueuePtr, callbackQueue, setCallbackQueue, callbackQueue_)
ZTM_FETCHER_PROPERTY(platform::QueuePtr, delegateQueue, setDelegateQueue, delegateQueue_)
ZTM_FETCHER_PROPERTY(std::shared_ptr<ZTMFetcherAuthorizationProtocol>, authorizer, setAuthorizer,
                     authorizer_)
ZTM_FETCHER_PROPERTY(std::optional<platform::net::URLCredential>, credential, setCredential,
                     credential_)
ZTM_FETCHER_PROPERTY(std::optional<platform::net::URLCredential>, proxyCredential,
                     setProxyCredential, proxyCredential_)
ZTM_FETCHER_PROPERTY(bool, allowLocalhostRequest, setAllowLocalhostRequest, allowLocalhostRequest_)
ZTM_FETCHER_PROPERTY(bool, allowInvalidServerCertificates, setAllowInvalidServerCertificates,
                     allowInvalidServerCertificates_)
ZTM_FETCHER_PROPERTY(std::vector<std::string>, allowedInsecureSchemes, setAllowedInsecureSchemes,
                     allowedInsecureSchemes_)
ZTM_FETCHER_PROPERTY(std::shared_ptr<platform::net::HTTPCookieStorage>, cookieStorage,
                     setCookieStorage, cookieStorage_)
ZTM_FETCHER_PROPERTY(std::shared_ptr<ZTMSessionFetcherServiceProtocol>, service, setService,
                     service_)
ZTM_FETCHER_PROPERTY(std::string, serviceHost, setServiceHost, serviceHost_)
ZTM_FETCHER_PROPERTY(int64_t, servicePriority, setServicePriority, servicePriority_)
ZTM_FETCHER_PROPERTY(bool, canShareSession, setCanShareSession, canShareSession_)
ZTM_FETCHER_PROPERTY(std::any, userData, setUserData, userData_)
ZTM_FETCHER_PROPERTY(std::string, comment, setComment, comment_)

#undef ZTM_FETCHER_PROPERTY

std::shared_ptr<URLSession> ZSDK_ZTMSessionFetcher::session() const {
  std::lock_guard lock(mutex_);
  return session_;
}

platform::net::TaskPtr ZSDK_ZTMSessionFetcher::sessionTask() const {
  std::lock_guard lock(mutex_);
  return sessionTask_;
}

platform::Value ZSDK_ZTMSessionFetcher::properties() const {
  std::lock_guard lock(mutex_);
  return properties_;
}

bool ZSDK_ZTMSessionFetcher::deferResponseBodyLogging() const {
  std::lock_guard lock(mutex_);
  return deferResponseBodyLogging_;
}
