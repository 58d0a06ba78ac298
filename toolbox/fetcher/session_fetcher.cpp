// Beginning a fetch, finishing it, stopping it, and the fetcher's properties.

#include "toolbox/fetcher/session_fetcher.h"

#include <cstdarg>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/class_registry.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url_error.h"
#include "platform/foundation/while_alive.h"
#include "platform/storage/file_manager.h"
#include "platform/ui/application.h"
#include "toolbox/fetcher/wait_step.h"

using platform::Error;
using platform::net::URLRequest;
using platform::net::URLSession;
using platform::net::URLSessionConfiguration;
using platform::net::URLSessionTask;

PLATFORM_REGISTER_CLASS(ZSDK_ZTMSessionFetcher, ZSDK_ZTMSessionFetcher);

// Creation.

ZSDK_ZTMSessionFetcher::ZSDK_ZTMSessionFetcher(std::optional<URLRequest> request,
                                               std::optional<URLSessionConfiguration> configuration)
    : request_(std::move(request)) {
  request_.setConfiguration(std::move(configuration));
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
  return fetcherWithURL(url.ok() ? std::optional<URL>(std::move(url).value()) : std::nullopt);
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithDownloadResumeData(
    Bytes resumeData) {
  Ptr fetcher = fetcherWithRequest(std::nullopt);
  fetcher->setComment("Resuming download");
  fetcher->setDownloadResumeData(std::move(resumeData));
  return fetcher;
}

std::string ZSDK_ZTMSessionFetcher::description() const {
  return platform::format("ZSDK_ZTMSessionFetcher %p (%s)", static_cast<const void*>(this),
                          request_.urlString().c_str());
}

// Starting.

void ZSDK_ZTMSessionFetcher::beginFetchWithCompletionHandler(CompletionHandler handler) {
  setCompletionHandler(std::move(handler));
  beginFetchMayDelay(true, true);
}

Error ZSDK_ZTMSessionFetcher::beginError(int64_t code) const {
  return Error(kZTMSessionFetcherErrorDomain, code,
               platform::Value::dictionary(
                   {{platform::kURLErrorFailingURLStringKey, request_.failingURLText()}}));
}

void ZSDK_ZTMSessionFetcher::beginFetchMayDelay(bool mayDelay, bool mayAuthorize) {
  Ptr self = shared_from_this();
  if (refuseToBegin()) return;
  // Cookies, and whether this is the restoration of a background session.
  request_.cookieStorageOr(staticCookieStorage());
  const bool restoring = !identity_.identifier().empty() && !request_.request();
  request_.setCanShareSession(restoring ? false : !identity_.useBackgroundSession());
  ensureSession();
  // A restored background session reattaches to its tasks.
  if (restoring) {
    task_.markSessionToInvalidate();
    return restoreBackgroundSession();
  }
  // A fresh body, unless the service holds the fetch back for now.
  task_.resetBody();
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service = request_.service();
  if (mayDelay && service && !service->fetcherShouldBeginFetching(*this)) {
    if (request_.canShareSession()) task_.dropSession();
    return;
  }
  FetcherRequest::Prepared prepared = request_.prepare();
  prepared.request.httpBodyStream =
      loggedInputStreamForInputStream(std::move(prepared.request.httpBodyStream));
  // Authorisation first, when the request needs it.
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer = request_.authorizer();
  if (mayAuthorize && authorizer && prepared.request.url->scheme() != "data" &&
      !authorizer->isAuthorizedRequest(prepared.request)) {
    if (request_.canShareSession()) task_.dropSession();
    return authorizeRequest();
  }
  retry_.setDefaultMaxInterval(prepared.isGET || prepared.method == "HEAD");
  startTask(makeTask(std::move(prepared)));
}

// One task at a time, and something to fetch: answers true when the fetch may not begin (and
// reports why, unless a restored background fetch already runs).
bool ZSDK_ZTMSessionFetcher::refuseToBegin() {
  const bool hasIdentifier = !identity_.identifier().empty();
  std::optional<int64_t> refused;
  if (task_.task()) {
    if (hasIdentifier) return true;
    refused = kZTMSessionFetcherErrorDownloadFailed;
  } else {
    refused = request_.refusal(hasIdentifier);
  }
  if (!refused) return false;
  failToBeginFetchWithError(beginError(*refused));
  return true;
}

void ZSDK_ZTMSessionFetcher::ensureSession() {
  if (task_.session()) return;
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service = request_.service();
  std::shared_ptr<URLSession> shared =
      request_.canShareSession() && service ? service->session() : nullptr;
  if (shared) return task_.useSession(std::move(shared), false);
  URLSessionConfiguration configuration = sessionConfiguration();
  std::shared_ptr<platform::net::URLSessionDelegate> delegate;
  if (service && request_.canShareSession()) delegate = service->sessionDelegate();
  const bool ownDelegate = !delegate;
  if (ownDelegate) delegate = shared_from_this();
  task_.useSession(
      URLSession::make(std::move(configuration), std::move(delegate), task_.delegateQueue()),
      ownDelegate);
  if (service) service->fetcherDidCreateSession(*this);
}

// The configuration given, else an ephemeral one (a background one for background fetches),
// with the fetch's cookie jar and the caller's changes.
URLSessionConfiguration ZSDK_ZTMSessionFetcher::sessionConfiguration() {
  std::optional<URLSessionConfiguration> configuration = request_.configuration();
  if (!configuration) {
    URLSessionConfiguration made;
    if (identity_.identifier().empty() && !identity_.useBackgroundSession()) {
      made = URLSessionConfiguration::ephemeral();
    } else {
      if (identity_.identifier().empty()) createSessionIdentifierWithMetadata(std::nullopt);
      registerForSessionIdentifier();
      made = URLSessionConfiguration::background(identity_.identifier());
      identity_.setUseBackgroundSession(true);
      request_.setCanShareSession(false);
    }
    made.minimumTLSVersion = platform::net::TLSProtocolVersion::TLS12;
    configuration = std::move(made);
  }
  configuration->cookieStorage = request_.cookieStorage();
  if (ConfigurationBlock block = callbacks_.configuration()) block(*this, *configuration);
  request_.setConfiguration(configuration);
  return std::move(*configuration);
}

platform::net::TaskPtr ZSDK_ZTMSessionFetcher::makeTask(FetcherRequest::Prepared prepared) {
  std::shared_ptr<URLSession> session = task_.session();
  const std::string scheme = prepared.request.url ? prepared.request.url->scheme() : "";
  platform::net::TaskPtr task;
  if (std::optional<Bytes> resumeData = request_.downloadResumeData()) {
    task = session->downloadTaskWithResumeData(*resumeData);
  } else if (!request_.destinationFileURL() || scheme == "data") {
    if (!prepared.needsUploadTask) {
      task = session->dataTask(std::move(prepared.request));
    } else if (std::optional<URL> file = request_.bodyFileURL()) {
      task = session->uploadTask(std::move(prepared.request),
                                 std::filesystem::path(file->filePath().value_or("")));
    } else if (std::shared_ptr<const Bytes> body = request_.sharedBodyData()) {
      task = session->uploadTask(std::move(prepared.request), std::move(body));
    } else {
      task = session->uploadTaskWithStreamedRequest(std::move(prepared.request));
    }
    if (!callbacks_.accumulate()) task_.gatherBody();
  } else {
    task = session->downloadTask(std::move(prepared.request));
  }
  if (std::string description = request_.taskDescription(); !description.empty()) {
    task->setTaskDescription(std::move(description));
  }
  return task;
}

// Announces the start, then runs the task or its simulation.
void ZSDK_ZTMSessionFetcher::startTask(platform::net::TaskPtr task) {
  setSessionTask(task);
  // A test block simulates the fetch.
  if (!callbacks_.test()) callbacks_.setTest(globalTestBlock());
  const bool simulate = callbacks_.test() != nullptr;
  task_.setUsingTestBlock(simulate);
  task_.noteStart();
  if (!useBackgroundSession()) holdBackgroundTime();
  sendStopNotificationIfNeeded();
  addPersistedBackgroundSessionToDefaults();
  task_.setStopNotificationNeeded(true);
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
  Ptr self = shared_from_this();
  removePersistedBackgroundSessionFromDefaults();
  const int status = statusCode();
  const bool succeeded = !error && status >= 0 && status <= 299;
  std::optional<Bytes> data =
      succeeded ? settleSuccess(error) : settleFailure(error, status, shouldRetry);
  const bool logDeferred = request_.deferResponseBodyLogging() || request_.hasLoggedError();
  if (shouldRetry) beginRetryTimer();
  sendStopNotificationIfNeeded();
  if (!shouldRetry) {
    // Delegate calls come on the callback queue unless it was set otherwise: then the handler
    // runs here, once the fetch has stopped, with no second hop and after every callback posted
    // before it.
    CompletionHandler handler = completionHandler();
    const bool now = handler && callbacks_.canRunNow();
    if (handler && !now) {
      invokeOnCallbackQueueUnlessStopped([handler, data, error] { handler(data, error); });
    }
    stopFetchReleasingCallbacks(shouldReleaseCallbacksUponCompletion());
    if (now && !callbacks_.userStopped()) handler(data, error);
  }
  if (!logDeferred) logNowWithError(error);
}

// A body gathered in memory goes to the destination file when there is one.
std::optional<platform::Bytes> ZSDK_ZTMSessionFetcher::settleSuccess(std::optional<Error>& error) {
  std::optional<Bytes> data = task_.body();
  std::optional<URL> destination = request_.destinationFileURL();
  if (data && !data->empty() && destination) {
    error = writeDestinationFile(*destination, *data);
    if (error) {
      task_.setDeferredError(error);
    } else {
      task_.setBody(std::nullopt);
      data.reset();
    }
  }
  return data;
}

std::optional<platform::Bytes> ZSDK_ZTMSessionFetcher::settleFailure(std::optional<Error>& error,
                                                                     int status, bool shouldRetry) {
  if (!request_.deferResponseBodyLogging()) {
    logNowWithError(error);
    request_.markErrorLogged();
  }
  if (shouldRetry) return std::nullopt;
  const std::optional<Bytes> body = task_.body();
  const bool hasBody = body && !body->empty();
  if (!error) {
    platform::Value userInfo = platform::Value::dictionary();
    if (hasBody) userInfo.set(kZTMSessionFetcherStatusDataKey, *body);
    error = Error(kZTMSessionFetcherStatusDomain, status, std::move(userInfo));
  } else {
    ResumeDataBlock resumeBlock = callbacks_.takeResumeDataBlock();
    const platform::Value& resumeData = error->userInfo()[kZTMSessionFetcherResumeDataKey];
    if (resumeBlock && resumeData.dataIf()) {
      invokeOnCallbackQueueAfterUserStopped(
          true, [resumeBlock, bytes = *resumeData.dataIf()] { resumeBlock(bytes); });
    }
  }
  return hasBody ? body : std::nullopt;
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
  releaseCallbacks();
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service = request_.service();
  request_.setAuthorizer(nullptr);
  // A session the fetcher made holds the fetcher as its delegate: let it go, or both would
  // live on (a restored background session that found no task, say).
  if (std::shared_ptr<URLSession> invalidate = task_.takeSessionToInvalidate(false)) {
    invalidate->finishTasksAndInvalidate();
  }
  if (service) service->fetcherDidStop(*this);
}

void ZSDK_ZTMSessionFetcher::stopFetching() {
  callbacks_.setUserStopped();
  stopFetchReleasingCallbacks(true);
}

void ZSDK_ZTMSessionFetcher::stopFetchReleasingCallbacks(bool shouldReleaseCallbacks) {
  Ptr self = shared_from_this();
  removePersistedBackgroundSessionFromDefaults();
  destroyRetryTimer();
  const platform::net::TaskPtr task = task_.takeTask();
  const bool cancelled = task && task->state() != URLSessionTask::State::Completed;
  if (cancelled) cancelTask(task);
  // A cancelled task comes back through finish, which stops again with no task running.
  if (!cancelled && !systemCompletionHandler()) {
    if (std::shared_ptr<URLSession> invalidate = task_.takeSessionToInvalidate(true)) {
      invalidate->finishTasksAndInvalidate();
    }
  }
  sendStopNotificationIfNeeded();
  if (std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer = request_.authorizer()) {
    std::optional<URLRequest> request = request_.request();
    if (request) authorizer->stopAuthorizationForRequest(*request);
  }
  if (shouldReleaseCallbacks) {
    releaseCallbacks();
    request_.setAuthorizer(nullptr);
  }
  if (std::shared_ptr<ZTMSessionFetcherServiceProtocol> service = request_.service()) {
    service->fetcherDidStop(*this);
  }
  releaseBackgroundTime();
}

void ZSDK_ZTMSessionFetcher::holdBackgroundTime() {
  const platform::ui::BackgroundTaskIdentifier held =
      platform::ui::Application::shared().beginBackgroundTask(platform::whileAlive(
          weak_from_this(),
          [](ZSDK_ZTMSessionFetcher& fetcher) { fetcher.backgroundFetchExpired(); }));
  // A fetch restarted without stopping (a retry) keeps one task.
  if (const uint64_t previous = backgroundTime_.exchange(held)) {
    platform::ui::Application::shared().endBackgroundTask(previous);
  }
}

void ZSDK_ZTMSessionFetcher::releaseBackgroundTime() {
  if (const uint64_t held = backgroundTime_.exchange(0)) {
    platform::ui::Application::shared().endBackgroundTask(held);
  }
}

// A download cancelled for good hands its resume data to the caller's block first.
void ZSDK_ZTMSessionFetcher::cancelTask(const platform::net::TaskPtr& task) {
  ResumeDataBlock block;
  if (task->kind() == URLSessionTask::Kind::Download) block = callbacks_.takeResumeDataBlock();
  if (!block) return task->cancel();
  platform::DispatchGroup group = callbacks_.group();
  group.enter();
  task->cancelByProducingResumeData(
      [self = shared_from_this(), block, group](std::optional<Bytes> data) mutable {
        self->invokeOnCallbackQueueAfterUserStopped(true, [block, data] { block(data); });
        group.leave();
      });
}

void ZSDK_ZTMSessionFetcher::backgroundFetchExpired() {
  CompletionHandler handler = completionHandler();
  if (handler) {
    Error expired(kZTMSessionFetcherErrorDomain, kZTMSessionFetcherErrorBackgroundExpiration);
    invokeOnCallbackQueueUnlessStopped([handler, expired] { handler(std::nullopt, expired); });
  }
  stopFetchReleasingCallbacks(false);
  releaseCallbacks();
  request_.setAuthorizer(nullptr);
}

void ZSDK_ZTMSessionFetcher::releaseCallbacks() { callbacks_.release(); }

bool ZSDK_ZTMSessionFetcher::isFetching() {
  if (task_.task() || retry_.armed()) return true;
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer = request_.authorizer();
  std::optional<URLRequest> request = request_.request();
  if (authorizer && request && authorizer->isAuthorizingRequest(*request)) return true;
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service = request_.service();
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
    return !callbacks_.group().wait(std::chrono::milliseconds(100));
  };
  while (busy()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    waitStep();
  }
  return true;
}

// Callback dispatch.

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueue(const platform::QueuePtr& queue,
                                                   bool afterUserStopped,
                                                   std::function<void()> block) {
  if (!queue) return;
  platform::DispatchGroup group = callbacks_.group();
  group.async(queue, [self = shared_from_this(), afterUserStopped, block = std::move(block)] {
    if (!afterUserStopped && self->callbacks_.userStopped()) return;
    block();
  });
}

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueueUnlessStopped(std::function<void()> block) {
  invokeOnCallbackQueueAfterUserStopped(false, std::move(block));
}

void ZSDK_ZTMSessionFetcher::invokeOnCallbackQueueAfterUserStopped(bool afterUserStopped,
                                                                   std::function<void()> block) {
  callbacks_.invoke(afterUserStopped, shared_from_this(), std::move(block));
}

// Notifications and logging.

void ZSDK_ZTMSessionFetcher::postNotification(const char* name) {
  platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
  // Most fetches have no listener: then the notification is not built at all.
  if (!center.isObserved(name, this)) return;
  center.post(name, this, platform::Value(), shared_from_this());
}

void ZSDK_ZTMSessionFetcher::sendStopNotificationIfNeeded() {
  if (task_.takeStopNotification()) postNotification(kZTMSessionFetcherStoppedNotification);
}
