#include "platform/net/url_connection.h"

#include <map>
#include <memory>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/url_session.h"

namespace platform::net {
namespace {

// Collects each task's body and hands the outcome to the task's own completion.
class ConnectionDelegate final : public URLSessionDelegate {
 public:
  struct Pending {
    QueuePtr queue;
    URLConnectionCompletion completion;
    Bytes body;
  };

  void add(uint64_t taskIdentifier, Pending pending) {
    MutexLock lock(mutex_);
    pending_[taskIdentifier] = std::move(pending);
  }

  void didReceiveData(URLSession&, const TaskPtr& task, const Bytes& data) override {
    MutexLock lock(mutex_);
    auto it = pending_.find(task->taskIdentifier());
    if (it != pending_.end())
      it->second.body.insert(it->second.body.end(), data.begin(), data.end());
  }

  void didCompleteWithError(URLSession&, const TaskPtr& task,
                            const std::optional<Error>& error) override {
    Pending pending;
    {
      MutexLock lock(mutex_);
      auto it = pending_.find(task->taskIdentifier());
      if (it == pending_.end()) return;
      pending = std::move(it->second);
      pending_.erase(it);
    }
    pending.queue->async([pending = std::move(pending), response = task->response(), error] {
      pending.completion(error ? std::nullopt : response, pending.body, error);
    });
  }

 private:
  Mutex mutex_;
  std::map<uint64_t, Pending> pending_ VKR_GUARDED_BY(mutex_);
};

struct SharedConnection {
  std::shared_ptr<ConnectionDelegate> delegate = std::make_shared<ConnectionDelegate>();
  std::shared_ptr<URLSession> session =
      URLSession::make(URLSessionConfiguration::defaultConfiguration(), delegate, nullptr);
};

SharedConnection& sharedConnection() {
  static SharedConnection* connection = new SharedConnection();  // lives as long as the process
  return *connection;
}

}  // namespace

void sendAsynchronousRequest(URLRequest request, QueuePtr queue,
                             URLConnectionCompletion completion) {
  SharedConnection& connection = sharedConnection();
  TaskPtr task = connection.session->dataTask(std::move(request));
  connection.delegate->add(task->taskIdentifier(),
                           {std::move(queue), std::move(completion), Bytes()});
  task->resume();
}

}  // namespace platform::net

namespace platform::net {

void URLConnectionDelegate::willSendRequestForAuthenticationChallenge(
    URLConnection&, const URLAuthenticationChallenge&, ChallengeCompletion completion) {
  completion(AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
}
void URLConnectionDelegate::didReceiveResponse(URLConnection&, const URLResponse&) {}
void URLConnectionDelegate::didReceiveData(URLConnection&, const Bytes&) {}
void URLConnectionDelegate::didSendBodyData(URLConnection&, int64_t, int64_t, int64_t) {}
void URLConnectionDelegate::didFinishLoading(URLConnection&) {}
void URLConnectionDelegate::didFailWithError(URLConnection&, const Error&) {}

// Hands the session's calls about the connection's one task to the connection's delegate, on
// the delegate queue (the session's), while the connection lives and was not cancelled.
class URLConnection::SessionDelegate final : public URLSessionDelegate {
 public:
  SessionDelegate(std::weak_ptr<URLConnection> connection,
                  std::shared_ptr<URLConnectionDelegate> delegate)
      : connection_(std::move(connection)), delegate_(std::move(delegate)) {}

  void didReceiveChallenge(
      URLSession&, const TaskPtr&, const URLAuthenticationChallenge& challenge,
      std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion)
      override {
    auto connection = live();
    if (!connection)
      return completion(AuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
    delegate_->willSendRequestForAuthenticationChallenge(*connection, challenge,
                                                         std::move(completion));
  }
  void didReceiveResponse(URLSession&, const TaskPtr&, const URLResponse& response,
                          std::function<void(ResponseDisposition)> completion) override {
    auto connection = live();
    if (connection) delegate_->didReceiveResponse(*connection, response);
    completion(connection ? ResponseDisposition::Allow : ResponseDisposition::Cancel);
  }
  void didReceiveData(URLSession&, const TaskPtr&, const Bytes& data) override {
    if (auto connection = live()) delegate_->didReceiveData(*connection, data);
  }
  void didSendBodyData(URLSession&, const TaskPtr&, int64_t bytesSent, int64_t totalBytesSent,
                       int64_t totalBytesExpectedToSend) override {
    if (auto connection = live()) {
      delegate_->didSendBodyData(*connection, bytesSent, totalBytesSent, totalBytesExpectedToSend);
    }
  }
  void didCompleteWithError(URLSession&, const TaskPtr&,
                            const std::optional<Error>& error) override {
    auto connection = live();
    if (!connection) return;
    if (error) {
      delegate_->didFailWithError(*connection, *error);
    } else {
      delegate_->didFinishLoading(*connection);
    }
  }

 private:
  std::shared_ptr<URLConnection> live() const {
    auto connection = connection_.lock();
    return connection && !connection->isCancelled() ? connection : nullptr;
  }

  const std::weak_ptr<URLConnection> connection_;
  const std::shared_ptr<URLConnectionDelegate> delegate_;
};

std::shared_ptr<URLConnection> URLConnection::make(
    URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate) {
  return std::shared_ptr<URLConnection>(new URLConnection(std::move(request), std::move(delegate)));
}

URLConnection::URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate)
    : request_(std::move(request)), delegate_(std::move(delegate)) {}

URLConnection::~URLConnection() { cancel(); }

void URLConnection::setDelegateQueue(QueuePtr queue) {
  MutexLock lock(mutex_);
  if (!started_) delegateQueue_ = std::move(queue);
}

void URLConnection::start() {
  std::shared_ptr<URLSession> session;
  TaskPtr task;
  {
    MutexLock lock(mutex_);
    if (started_ || cancelled_) return;
    started_ = true;
    // The session holds the delegate until its one task has ended.
    session = URLSession::make(
        URLSessionConfiguration::defaultConfiguration(),
        std::make_shared<SessionDelegate>(weak_from_this(), std::exchange(delegate_, nullptr)),
        delegateQueue_);
    task_ = task = session->dataTask(request_);
  }
  task->resume();
  session->finishTasksAndInvalidate();
}

void URLConnection::cancel() {
  cancelled_ = true;
  TaskPtr task;
  {
    MutexLock lock(mutex_);
    delegate_.reset();
    task = task_;
  }
  if (task) task->cancel();
}

URLRequest URLConnection::currentRequest() const {
  MutexLock lock(mutex_);
  return task_ ? task_->currentRequest() : request_;
}

}  // namespace platform::net
