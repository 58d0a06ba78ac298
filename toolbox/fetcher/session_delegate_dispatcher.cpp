#include "toolbox/fetcher/session_delegate_dispatcher.h"

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url_error.h"
#include "toolbox/fetcher/session_fetcher.h"
#include "toolbox/fetcher/session_fetcher_service.h"

using platform::net::URLSession;

ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::ZSDK_ZTMSessionFetcherSessionDelegateDispatcher(
    std::weak_ptr<ZSDK_ZTMSessionFetcherService> parentService, double sessionDiscardInterval)
    : parentService_(std::move(parentService)), discardInterval_(sessionDiscardInterval) {}

ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::
    ~ZSDK_ZTMSessionFetcherSessionDelegateDispatcher() {
  platform::MutexLock lock(mutex_);
  discardTimer_.cancel();
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::setFetcherForTask(FetcherPtr fetcher,
                                                                        const TaskPtr& task) {
  if (!fetcher || !task) return;
  platform::MutexLock lock(mutex_);
  taskToFetcherMap_[task] = std::move(fetcher);
  discardTimer_.cancel();
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::removeFetcher(
    const ZSDK_ZTMSessionFetcher& fetcher) {
  platform::MutexLock lock(mutex_);
  std::erase_if(taskToFetcherMap_,
                [&](const auto& entry) { return entry.second.get() == &fetcher; });
  if (taskToFetcherMap_.empty()) startDiscardTimerLocked();
}

ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::FetcherPtr
ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::fetcherForTask(const TaskPtr& task) const {
  platform::MutexLock lock(mutex_);
  auto found = taskToFetcherMap_.find(task);
  return found == taskToFetcherMap_.end() ? nullptr : found->second;
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::removeTaskFromMap(const TaskPtr& task) {
  platform::MutexLock lock(mutex_);
  taskToFetcherMap_.erase(task);
}

std::shared_ptr<URLSession> ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::session() const {
  platform::MutexLock lock(mutex_);
  return session_;
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::setSession(
    std::shared_ptr<URLSession> session) {
  platform::MutexLock lock(mutex_);
  session_ = std::move(session);
}

double ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::discardInterval() const {
  platform::MutexLock lock(mutex_);
  return discardInterval_;
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::setDiscardInterval(double seconds) {
  platform::MutexLock lock(mutex_);
  discardInterval_ = seconds;
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::startDiscardTimer() {
  platform::MutexLock lock(mutex_);
  startDiscardTimerLocked();
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::startDiscardTimerLocked() {
  discardTimer_.cancel();
  if (discardInterval_ <= 0) return;
  discardTimer_ = platform::dispatchAfter(platform::seconds(discardInterval_),
                                          platform::mainQueue(), [weak = weak_from_this()] {
                                            if (auto self = weak.lock()) self->discardTimerFired();
                                          });
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::destroyDiscardTimer() {
  platform::MutexLock lock(mutex_);
  discardTimer_.cancel();
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::discardTimerFired() {
  {
    platform::MutexLock lock(mutex_);
    if (!taskToFetcherMap_.empty()) return;
  }
  if (auto service = parentService_.lock()) service->resetSession();
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::abandon() {
  std::shared_ptr<URLSession> session;
  {
    platform::MutexLock lock(mutex_);
    discardTimer_.cancel();
    session = std::move(session_);
    session_.reset();
  }
  if (session) session->finishTasksAndInvalidate();
}

std::string ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::description() const {
  platform::MutexLock lock(mutex_);
  std::string tasks;
  for (const auto& [task, fetcher] : taskToFetcherMap_) {
    tasks += platform::format("%s%llu: %s", tasks.empty() ? "{" : ", ",
                              static_cast<unsigned long long>(task->taskIdentifier()),
                              fetcher->description().c_str());
  }
  return platform::format(
      "ZSDK_ZTMSessionFetcherSessionDelegateDispatcher %p %s %s", static_cast<const void*>(this),
      session_
          ? platform::format("<URLSession %p>", static_cast<const void*>(session_.get())).c_str()
          : "<no session>",
      tasks.empty() ? "<no tasks>" : (tasks + "}").c_str());
}

// Session events.

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didBecomeInvalid(
    URLSession& session, const std::optional<platform::Error>&) {
  std::map<TaskPtr, FetcherPtr> map;
  {
    platform::MutexLock lock(mutex_);
    if (session_.get() == &session) session_.reset();
    map = taskToFetcherMap_;
  }
  // Fetchers whose tasks were still mapped would otherwise wait for a completion that never comes.
  for (const auto& [task, fetcher] : map) {
    if (fetcher->session().get() != &session) continue;
    didCompleteWithError(session, task, platform::makeURLError(platform::kURLErrorCancelled, ""));
  }
  auto service = parentService_.lock();
  platform::NotificationCenter::defaultCenter().post(
      kZTMSessionFetcherServiceSessionBecameInvalidNotification, service.get(), platform::Value(),
      session.shared_from_this());
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::willPerformHTTPRedirection(
    URLSession& session, const TaskPtr& task, const platform::net::URLResponse& response,
    platform::net::URLRequest newRequest,
    std::function<void(std::optional<platform::net::URLRequest>)> completion) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    return fetcher->willPerformHTTPRedirection(session, task, response, std::move(newRequest),
                                               std::move(completion));
  }
  URLSessionDelegate::willPerformHTTPRedirection(session, task, response, std::move(newRequest),
                                                 std::move(completion));
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didReceiveChallenge(
    URLSession& session, const TaskPtr& task,
    const platform::net::URLAuthenticationChallenge& challenge,
    std::function<void(platform::net::AuthChallengeDisposition,
                       std::optional<platform::net::URLCredential>)>
        completion) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    return fetcher->didReceiveChallenge(session, task, challenge, std::move(completion));
  }
  URLSessionDelegate::didReceiveChallenge(session, task, challenge, std::move(completion));
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::needNewBodyStream(
    URLSession& session, const TaskPtr& task,
    std::function<void(std::shared_ptr<platform::net::InputStream>)> completion) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    return fetcher->needNewBodyStream(session, task, std::move(completion));
  }
  URLSessionDelegate::needNewBodyStream(session, task, std::move(completion));
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didSendBodyData(
    URLSession& session, const TaskPtr& task, int64_t bytesSent, int64_t totalBytesSent,
    int64_t totalBytesExpectedToSend) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    fetcher->didSendBodyData(session, task, bytesSent, totalBytesSent, totalBytesExpectedToSend);
  }
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didCompleteWithError(
    URLSession& session, const TaskPtr& task, const std::optional<platform::Error>& error) {
  FetcherPtr fetcher = fetcherForTask(task);
  removeTaskFromMap(task);
  if (fetcher) fetcher->didCompleteWithError(session, task, error);
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didReceiveResponse(
    URLSession& session, const TaskPtr& task, const platform::net::URLResponse& response,
    std::function<void(platform::net::ResponseDisposition)> completion) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    return fetcher->didReceiveResponse(session, task, response, std::move(completion));
  }
  URLSessionDelegate::didReceiveResponse(session, task, response, std::move(completion));
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didReceiveData(URLSession& session,
                                                                     const TaskPtr& task,
                                                                     const platform::Bytes& data) {
  if (FetcherPtr fetcher = fetcherForTask(task)) fetcher->didReceiveData(session, task, data);
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didWriteData(
    URLSession& session, const TaskPtr& task, int64_t bytesWritten, int64_t totalBytesWritten,
    int64_t totalBytesExpectedToWrite) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    fetcher->didWriteData(session, task, bytesWritten, totalBytesWritten,
                          totalBytesExpectedToWrite);
  }
}

void ZSDK_ZTMSessionFetcherSessionDelegateDispatcher::didFinishDownloadingTo(
    URLSession& session, const TaskPtr& task, const std::filesystem::path& location) {
  if (FetcherPtr fetcher = fetcherForTask(task)) {
    fetcher->didFinishDownloadingTo(session, task, location);
  }
}
