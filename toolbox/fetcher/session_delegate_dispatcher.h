#pragma once

// ZSDK_ZTMSessionFetcherSessionDelegateDispatcher: the delegate of a session that a fetcher
// service's fetchers share. It forwards each task event to the fetcher that owns the task, and
// discards the session (through its service) once no task has been mapped for the discard
// interval. Thread-safe: its state sits under its own lock, never held while a fetcher runs.

#include <map>
#include <memory>
#include <string>

#include "platform/dispatch/timer.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/url_session.h"

class ZSDK_ZTMSessionFetcher;
class ZSDK_ZTMSessionFetcherService;

class ZSDK_ZTMSessionFetcherSessionDelegateDispatcher
    : public platform::net::URLSessionDelegate,
      public std::enable_shared_from_this<ZSDK_ZTMSessionFetcherSessionDelegateDispatcher> {
 public:
  using FetcherPtr = std::shared_ptr<ZSDK_ZTMSessionFetcher>;
  using TaskPtr = platform::net::TaskPtr;
  using URLSession = platform::net::URLSession;

  ZSDK_ZTMSessionFetcherSessionDelegateDispatcher(
      std::weak_ptr<ZSDK_ZTMSessionFetcherService> parentService, double sessionDiscardInterval);
  ~ZSDK_ZTMSessionFetcherSessionDelegateDispatcher() override;

  void setFetcherForTask(FetcherPtr fetcher, const TaskPtr& task);
  // Forgets every task of the fetcher; with none left, the discard timer starts.
  void removeFetcher(const ZSDK_ZTMSessionFetcher& fetcher);
  FetcherPtr fetcherForTask(const TaskPtr& task) const;
  void removeTaskFromMap(const TaskPtr& task);

  std::shared_ptr<URLSession> session() const;
  void setSession(std::shared_ptr<URLSession> session);
  double discardInterval() const;
  void setDiscardInterval(double seconds);
  // An interval of 0 or less never discards.
  void startDiscardTimer();
  void destroyDiscardTimer();
  // Cancels the timer, lets the session's tasks finish and then invalidates it, and forgets it.
  void abandon();
  // "<class> <address> <session or "<no session>"> <tasks or "<no tasks>">"
  std::string description() const;

  // Session events, each forwarded to the task's fetcher.
  void didBecomeInvalid(URLSession& session, const std::optional<platform::Error>& error) override;
  void willPerformHTTPRedirection(
      URLSession& session, const TaskPtr& task, const platform::net::URLResponse& response,
      platform::net::URLRequest newRequest,
      std::function<void(std::optional<platform::net::URLRequest>)> completion) override;
  void didReceiveChallenge(URLSession& session, const TaskPtr& task,
                           const platform::net::URLAuthenticationChallenge& challenge,
                           std::function<void(platform::net::AuthChallengeDisposition,
                                              std::optional<platform::net::URLCredential>)>
                               completion) override;
  void needNewBodyStream(
      URLSession& session, const TaskPtr& task,
      std::function<void(std::shared_ptr<platform::net::InputStream>)> completion) override;
  void didSendBodyData(URLSession& session, const TaskPtr& task, int64_t bytesSent,
                       int64_t totalBytesSent, int64_t totalBytesExpectedToSend) override;
  void didCompleteWithError(URLSession& session, const TaskPtr& task,
                            const std::optional<platform::Error>& error) override;
  void didReceiveResponse(
      URLSession& session, const TaskPtr& task, const platform::net::URLResponse& response,
      std::function<void(platform::net::ResponseDisposition)> completion) override;
  void didReceiveData(URLSession& session, const TaskPtr& task,
                      const platform::Bytes& data) override;
  void didWriteData(URLSession& session, const TaskPtr& task, int64_t bytesWritten,
                    int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void didFinishDownloadingTo(URLSession& session, const TaskPtr& task,
                              const std::filesystem::path& location) override;

 private:
  void discardTimerFired();
  void startDiscardTimerLocked() VKR_REQUIRES(mutex_);

  const std::weak_ptr<ZSDK_ZTMSessionFetcherService> parentService_;
  mutable platform::Mutex mutex_;
  std::shared_ptr<URLSession> session_ VKR_GUARDED_BY(mutex_);
  std::map<TaskPtr, FetcherPtr> taskToFetcherMap_ VKR_GUARDED_BY(mutex_);
  platform::Timer discardTimer_ VKR_GUARDED_BY(mutex_);
  double discardInterval_ VKR_GUARDED_BY(mutex_);
};
