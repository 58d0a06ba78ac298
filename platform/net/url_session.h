#pragma once

// URL sessions: HTTP(S) loads run by libcurl, reported to a delegate on the queue the session was
// given, in order. The loads of a session whose delegate queue is the main queue run on the main
// loop (without blocking it); the others run on a network thread.
//
// Each task reports, in this order: redirects (the delegate may change or refuse each one),
// authentication challenges (server trust when the default evaluation fails; HTTP
// authentication), the response head (the delegate decides whether to go on), body bytes or
// download progress, and exactly one completion. After cancel() the delegate hears nothing more
// of the task but that completion (with kURLErrorCancelled).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/cookie_storage.h"
#include "platform/net/input_stream.h"
#include "platform/net/server_trust.h"
#include "platform/net/url_request.h"

namespace platform::net {

enum class TLSProtocolVersion { TLS10, TLS11, TLS12, TLS13 };

struct URLSessionConfiguration {
  // Cookies go to and come from the shared jar.
  static URLSessionConfiguration defaultConfiguration();
  // Nothing persists: a jar of the session's own.
  static URLSessionConfiguration ephemeral();
  // A session known by an identifier. Such sessions run in this process like any other: their
  // tasks end with the process, and a session made again with the same identifier has none.
  static URLSessionConfiguration background(std::string identifier);

  std::optional<std::string> identifier;
  TLSProtocolVersion minimumTLSVersion = TLSProtocolVersion::TLS12;
  // Null: no cookies are sent or stored.
  std::shared_ptr<HTTPCookieStorage> cookieStorage;
  bool httpShouldSetCookies = true;
  HTTPHeaderFields httpAdditionalHeaders;
  // Seconds without any byte moving before a load fails; a request's own interval wins when
  // it is shorter.
  double timeoutIntervalForRequest = 60.0;
  // Seconds a whole load may take.
  double timeoutIntervalForResource = 7 * 24 * 3600.0;
  // Where download tasks put the files they write; the system's temporary folder when empty.
  std::filesystem::path downloadDirectory;
};

enum class ResponseDisposition { Cancel = 0, Allow = 1 };

enum class AuthChallengeDisposition {
  UseCredential = 0,
  PerformDefaultHandling = 1,
  CancelAuthenticationChallenge = 2,
  RejectProtectionSpace = 3,
};

inline constexpr const char* kAuthenticationMethodServerTrust =
    "NSURLAuthenticationMethodServerTrust";
inline constexpr const char* kAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* kAuthenticationMethodHTTPDigest =
    "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* kAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";

struct URLProtectionSpace {
  std::string host;
  int port = 0;
  std::string protocol;  // "http" or "https"
  std::string realm;
  std::string authenticationMethod;
  bool isProxy = false;
  // Set for server-trust challenges.
  std::shared_ptr<const ServerTrust> serverTrust;
};

struct URLAuthenticationChallenge {
  URLProtectionSpace protectionSpace;
  // How many answers to this challenge failed before within the task.
  int previousFailureCount = 0;
  std::optional<URLResponse> failureResponse;
};

// An answer to a challenge: a user and password, or acceptance of a server's trust.
struct URLCredential {
  std::string user;
  std::string password;
  std::shared_ptr<const ServerTrust> serverTrust;

  static URLCredential withUser(std::string user, std::string password) {
    return URLCredential{std::move(user), std::move(password), nullptr};
  }
  static URLCredential forTrust(std::shared_ptr<const ServerTrust> trust) {
    return URLCredential{{}, {}, std::move(trust)};
  }
};

class URLSession;
class TaskRecord;
struct TaskBody;
struct TaskRun;

class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
 public:
  enum class Kind { Data, Upload, Download };
  enum class State { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

  ~URLSessionTask();
  URLSessionTask(const URLSessionTask&) = delete;
  URLSessionTask& operator=(const URLSessionTask&) = delete;

  uint64_t taskIdentifier() const { return identifier_; }
  Kind kind() const { return kind_; }
  State state() const;
  // The request as given, and the one of the current redirect leg.
  const URLRequest& originalRequest() const { return *originalRequest_; }
  URLRequest currentRequest() const;
  std::optional<URLResponse> response() const;
  // The response's status code, for callers that need no more of it than that.
  std::optional<int> responseStatusCode() const;
  std::optional<Error> error() const;
  std::string taskDescription() const;
  void setTaskDescription(std::string description);
  int64_t countOfBytesSent() const;
  int64_t countOfBytesExpectedToSend() const;
  int64_t countOfBytesReceived() const;
  int64_t countOfBytesExpectedToReceive() const;

  // Starts a task that was never started; does nothing otherwise.
  void resume();
  void cancel();
  // Download tasks: cancels. Partial downloads are not kept, so the answer (on the delegate
  // queue) is always no resume data.
  void cancelByProducingResumeData(std::function<void(std::optional<Bytes>)> completion);

 private:
  friend class URLSession;
  URLSessionTask(std::shared_ptr<URLSession> session, Kind kind, URLRequest request,
                 std::shared_ptr<TaskBody> body);
  // What the engine needs to run the task.
  TaskRun run();

  const std::shared_ptr<URLSession> session_;
  const uint64_t identifier_;
  const Kind kind_;
  // Shared with the engine and the record rather than copied: a body may be large.
  const std::shared_ptr<const URLRequest> originalRequest_;
  const std::shared_ptr<TaskBody> body_;
  // The task's progress and outcome, shared with the engine that runs it.
  const std::shared_ptr<TaskRecord> record_;
};

using TaskPtr = std::shared_ptr<URLSessionTask>;

// What a session tells its delegate. Every operation is optional; the defaults follow
// redirects, perform the default handling of challenges, allow responses and ignore the rest.
// Completions may be called on any thread, later; each at most once (a completion dropped
// without being called cancels the task).
class URLSessionDelegate {
 public:
  virtual ~URLSessionDelegate() = default;

  virtual void didBecomeInvalid(URLSession& session, const std::optional<Error>& error);

  virtual void willPerformHTTPRedirection(
      URLSession& session, const TaskPtr& task, const URLResponse& response, URLRequest newRequest,
      std::function<void(std::optional<URLRequest>)> completion);
  virtual void didReceiveChallenge(
      URLSession& session, const TaskPtr& task, const URLAuthenticationChallenge& challenge,
      std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion);
  // For streamed uploads: a fresh body stream, at the start and when the body must be sent again.
  virtual void needNewBodyStream(URLSession& session, const TaskPtr& task,
                                 std::function<void(std::shared_ptr<InputStream>)> completion);
  virtual void didSendBodyData(URLSession& session, const TaskPtr& task, int64_t bytesSent,
                               int64_t totalBytesSent, int64_t totalBytesExpectedToSend);
  virtual void didCompleteWithError(URLSession& session, const TaskPtr& task,
                                    const std::optional<Error>& error);

  // Data and upload tasks.
  virtual void didReceiveResponse(URLSession& session, const TaskPtr& task,
                                  const URLResponse& response,
                                  std::function<void(ResponseDisposition)> completion);
  virtual void didReceiveData(URLSession& session, const TaskPtr& task, const Bytes& data);

  // Download tasks.
  virtual void didWriteData(URLSession& session, const TaskPtr& task, int64_t bytesWritten,
                            int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite);
  // The file is removed when this returns: move it elsewhere to keep it.
  virtual void didFinishDownloadingTo(URLSession& session, const TaskPtr& task,
                                      const std::filesystem::path& location);
};

class URLSession : public std::enable_shared_from_this<URLSession> {
 public:
  // A session whose delegate hears of its tasks on the delegate queue (a serial queue of the
  // session's own when null). The session holds its delegate until it is invalidated.
  static std::shared_ptr<URLSession> make(URLSessionConfiguration configuration,
                                          std::shared_ptr<URLSessionDelegate> delegate,
                                          QueuePtr delegateQueue);
  ~URLSession();

  const URLSessionConfiguration& configuration() const { return configuration_; }
  const QueuePtr& delegateQueue() const { return delegateQueue_; }
  std::shared_ptr<URLSessionDelegate> delegate() const;

  // New tasks start suspended: resume() starts them. A session that was invalidated makes
  // tasks that fail with kURLErrorCancelled when resumed.
  TaskPtr dataTask(URLRequest request);
  TaskPtr uploadTask(URLRequest request, Bytes body);
  // The same with bytes shared, not copied: a large body another part still holds (for a retry,
  // say) goes out without a copy of its own.
  TaskPtr uploadTask(URLRequest request, std::shared_ptr<const Bytes> body);
  TaskPtr uploadTask(URLRequest request, std::filesystem::path bodyFile);
  // The body comes from the delegate's needNewBodyStream().
  TaskPtr uploadTaskWithStreamedRequest(URLRequest request);
  TaskPtr downloadTask(URLRequest request);
  // Partial downloads are not kept, so no resume data is usable: the task fails with
  // kURLErrorCannotResumeDownload.
  TaskPtr downloadTaskWithResumeData(Bytes resumeData);

  // The tasks not yet completed, on the delegate queue.
  void getAllTasks(std::function<void(std::vector<TaskPtr>)> completion);
  // Lets running tasks finish, then tells the delegate didBecomeInvalid and lets it go.
  void finishTasksAndInvalidate();
  // Cancels every task, then does as finishTasksAndInvalidate().
  void invalidateAndCancel();

 private:
  friend class URLSessionTask;
  friend class TaskDriver;
  friend class ResponseHandOver;
  URLSession(URLSessionConfiguration configuration, std::shared_ptr<URLSessionDelegate> delegate,
             QueuePtr delegateQueue);
  TaskPtr makeTask(URLSessionTask::Kind kind, URLRequest request, std::shared_ptr<TaskBody> body);
  // Runs a delegate call on the delegate queue; calls about a cancelled task are dropped
  // unless `evenIfCancelled`.
  void deliver(const TaskPtr& task, bool evenIfCancelled,
               std::function<void(URLSessionDelegate&, URLSession&)> call);
  void taskStarted();
  // Posts the task's completion to the delegate queue; finishTask delivers it there. A task is
  // completed once: later completions are dropped.
  void completeTask(const TaskPtr& task, std::optional<Error> error);
  void finishTask(const TaskPtr& task, std::optional<Error> error);
  void invalidateIfDone();

  const URLSessionConfiguration configuration_;
  const QueuePtr delegateQueue_;

  mutable Mutex mutex_;
  std::shared_ptr<URLSessionDelegate> delegate_ VKR_GUARDED_BY(mutex_);
  std::vector<std::weak_ptr<URLSessionTask>> tasks_ VKR_GUARDED_BY(mutex_);
  int runningTasks_ VKR_GUARDED_BY(mutex_) = 0;
  bool invalidating_ VKR_GUARDED_BY(mutex_) = false;
  bool invalidated_ VKR_GUARDED_BY(mutex_) = false;
};

}  // namespace platform::net
