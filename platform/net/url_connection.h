#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/url_request.h"
#include "platform/net/url_session.h"

namespace platform::net {

// The answer to one request: the response head when one came, the body, and the error of a load
// that failed (no error for an HTTP error status: that is an answer like any other).
using URLConnectionCompletion =
    std::function<void(const std::optional<URLResponse>& response, const Bytes& body,
                       const std::optional<Error>& error)>;

// Loads the request in the background through one shared session (default configuration,
// redirects followed) and calls the completion once, on the queue. Any thread.
void sendAsynchronousRequest(URLRequest request, QueuePtr queue,
                             URLConnectionCompletion completion);

class URLConnection;

// What a connection tells its delegate, one call after another on the connection's delegate
// queue: challenges, the response head, body bytes and upload progress, then exactly one of
// didFinishLoading and didFailWithError (none after the connection was cancelled). Every
// operation is optional.
class URLConnectionDelegate {
 public:
  using ChallengeCompletion =
      std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)>;

  virtual ~URLConnectionDelegate() = default;

  // Server trust comes here only when the certificate did not pass the default checks. The
  // default answer is the default handling (which refuses an untrusted server).
  virtual void willSendRequestForAuthenticationChallenge(
      URLConnection& connection, const URLAuthenticationChallenge& challenge,
      ChallengeCompletion completion);
  virtual void didReceiveResponse(URLConnection& connection, const URLResponse& response);
  virtual void didReceiveData(URLConnection& connection, const Bytes& data);
  virtual void didSendBodyData(URLConnection& connection, int64_t bytesWritten,
                               int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite);
  virtual void didFinishLoading(URLConnection& connection);
  virtual void didFailWithError(URLConnection& connection, const Error& error);
};

// One load of a request (redirects followed, cookies of the shared jar unless the request says
// otherwise) reported to a delegate. The connection holds its delegate until the load ends.
// Thread-safe: the operations may be called from any thread.
class URLConnection : public std::enable_shared_from_this<URLConnection> {
 public:
  // A connection that waits for start().
  static std::shared_ptr<URLConnection> make(URLRequest request,
                                             std::shared_ptr<URLConnectionDelegate> delegate);
  ~URLConnection();
  URLConnection(const URLConnection&) = delete;
  URLConnection& operator=(const URLConnection&) = delete;

  // The queue of the delegate calls (a serial queue of the connection's own when not set).
  // Before start() only.
  void setDelegateQueue(QueuePtr queue);
  // Starts the load once; later calls do nothing.
  void start();
  // Stops the load; the delegate hears nothing more of it.
  void cancel();
  bool isCancelled() const { return cancelled_.load(); }

  const URLRequest& originalRequest() const { return request_; }
  // The request of the current redirect leg.
  URLRequest currentRequest() const;

 private:
  class SessionDelegate;
  URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate);

  const URLRequest request_;
  std::atomic<bool> cancelled_{false};
  mutable Mutex mutex_;
  std::shared_ptr<URLConnectionDelegate> delegate_ VKR_GUARDED_BY(mutex_);
  QueuePtr delegateQueue_ VKR_GUARDED_BY(mutex_);
  TaskPtr task_ VKR_GUARDED_BY(mutex_);
  bool started_ VKR_GUARDED_BY(mutex_) = false;
};

}  // namespace platform::net
