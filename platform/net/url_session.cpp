#include "platform/net/url_session.h"

#include "platform/foundation/url_error.h"
#include "platform/net/curl_engine.h"
#include "platform/net/task_body.h"
#include "platform/net/task_driver.h"

namespace platform::net {

namespace {
std::atomic<uint64_t> nextTaskIdentifier{1};

void startOnItsEngine(TaskRun run) {
  CurlEngine& engine = CurlEngine::of(run);
  engine.start(std::move(run));
}
}  // namespace

URLSessionConfiguration URLSessionConfiguration::defaultConfiguration() {
  URLSessionConfiguration configuration;
  configuration.cookieStorage = HTTPCookieStorage::shared();
  return configuration;
}

URLSessionConfiguration URLSessionConfiguration::ephemeral() {
  URLSessionConfiguration configuration;
  configuration.cookieStorage = std::make_shared<HTTPCookieStorage>();
  return configuration;
}

URLSessionConfiguration URLSessionConfiguration::background(std::string identifier) {
  URLSessionConfiguration configuration = defaultConfiguration();
  configuration.identifier = std::move(identifier);
  return configuration;
}

// Delegate defaults: go on as a delegate that does not care would.

void URLSessionDelegate::didBecomeInvalid(URLSession&, const std::optional<Error>&) {}

void URLSessionDelegate::willPerformHTTPRedirection(
    URLSession&, const TaskPtr&, const URLResponse&, URLRequest newRequest,
    std::function<void(std::optional<URLRequest>)> completion) {
  completion(std::move(newRequest));
}

void URLSessionDelegate::didReceiveChallenge(
    URLSession&, const TaskPtr&, const URLAuthenticationChallenge&,
    std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion) {
  completion(AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
}

void URLSessionDelegate::needNewBodyStream(
    URLSession&, const TaskPtr&, std::function<void(std::shared_ptr<InputStream>)> completion) {
  completion(nullptr);
}

void URLSessionDelegate::didSendBodyData(URLSession&, const TaskPtr&, int64_t, int64_t, int64_t) {}

void URLSessionDelegate::didCompleteWithError(URLSession&, const TaskPtr&,
                                              const std::optional<Error>&) {}

void URLSessionDelegate::didReceiveResponse(URLSession&, const TaskPtr&, const URLResponse&,
                                            std::function<void(ResponseDisposition)> completion) {
  completion(ResponseDisposition::Allow);
}

void URLSessionDelegate::didReceiveData(URLSession&, const TaskPtr&, const Bytes&) {}

void URLSessionDelegate::didWriteData(URLSession&, const TaskPtr&, int64_t, int64_t, int64_t) {}

void URLSessionDelegate::didFinishDownloadingTo(URLSession&, const TaskPtr&,
                                                const std::filesystem::path&) {}

// Tasks.

URLSessionTask::URLSessionTask(std::shared_ptr<URLSession> session, Kind kind, URLRequest request,
                               std::shared_ptr<TaskBody> body)
    : session_(std::move(session)),
      identifier_(nextTaskIdentifier++),
      kind_(kind),
      originalRequest_(std::make_shared<const URLRequest>(std::move(request))),
      body_(std::move(body)),
      record_(std::make_shared<TaskRecord>(originalRequest_)) {}

URLSessionTask::~URLSessionTask() = default;

URLSessionTask::State URLSessionTask::state() const { return record_->state(); }
URLRequest URLSessionTask::currentRequest() const { return record_->currentRequest(); }
std::optional<URLResponse> URLSessionTask::response() const { return record_->response(); }
std::optional<int> URLSessionTask::responseStatusCode() const { return record_->statusCode(); }
std::optional<Error> URLSessionTask::error() const { return record_->error(); }
std::string URLSessionTask::taskDescription() const { return record_->taskDescription(); }
void URLSessionTask::setTaskDescription(std::string description) {
  record_->setTaskDescription(std::move(description));
}
int64_t URLSessionTask::countOfBytesSent() const { return record_->bytesSent(); }
int64_t URLSessionTask::countOfBytesExpectedToSend() const {
  return record_->bytesExpectedToSend();
}
int64_t URLSessionTask::countOfBytesReceived() const { return record_->bytesReceived(); }
int64_t URLSessionTask::countOfBytesExpectedToReceive() const {
  return record_->bytesExpectedToReceive();
}

TaskRun URLSessionTask::run() {
  return TaskRun{shared_from_this(), session_, body_, record_, originalRequest_};
}

void URLSessionTask::resume() {
  if (!record_->markStarted()) return;
  session_->taskStarted();
  startOnItsEngine(run());
}

void URLSessionTask::cancel() {
  const std::optional<bool> start = record_->markCancelling();
  if (!start) return;
  if (*start) {
    // A task cancelled before it ran still ends with its completion.
    session_->taskStarted();
    startOnItsEngine(run());
  } else {
    CurlEngine::of(run()).withDriver(identifier_, [](TaskDriver& driver) { driver.cancel(); });
  }
}

void URLSessionTask::cancelByProducingResumeData(
    std::function<void(std::optional<Bytes>)> completion) {
  cancel();
  if (completion) {
    session_->delegateQueue()->async(
        [completion = std::move(completion)] { completion(std::nullopt); });
  }
}

// Sessions.

std::shared_ptr<URLSession> URLSession::make(URLSessionConfiguration configuration,
                                             std::shared_ptr<URLSessionDelegate> delegate,
                                             QueuePtr delegateQueue) {
  if (!delegateQueue) delegateQueue = makeSerialQueue("URLSession delegate queue");
  return std::shared_ptr<URLSession>(
      new URLSession(std::move(configuration), std::move(delegate), std::move(delegateQueue)));
}

URLSession::URLSession(URLSessionConfiguration configuration,
                       std::shared_ptr<URLSessionDelegate> delegate, QueuePtr delegateQueue)
    : configuration_(std::move(configuration)),
      delegateQueue_(std::move(delegateQueue)),
      delegate_(std::move(delegate)) {}

URLSession::~URLSession() = default;

std::shared_ptr<URLSessionDelegate> URLSession::delegate() const {
  MutexLock lock(mutex_);
  return delegate_;
}

TaskPtr URLSession::makeTask(URLSessionTask::Kind kind, URLRequest request,
                             std::shared_ptr<TaskBody> body) {
  MutexLock lock(mutex_);
  if (invalidating_) {
    body = std::make_shared<TaskBody>();
    request.url.reset();
  }
  TaskPtr task(new URLSessionTask(shared_from_this(), kind, std::move(request), std::move(body)));
  if (invalidating_) task->record_->cancelled = true;
  std::erase_if(tasks_, [](const auto& weak) { return weak.expired(); });
  tasks_.push_back(task);
  return task;
}

TaskPtr URLSession::dataTask(URLRequest request) {
  return makeTask(URLSessionTask::Kind::Data, std::move(request), std::make_shared<TaskBody>());
}

TaskPtr URLSession::uploadTask(URLRequest request, Bytes body) {
  return uploadTask(std::move(request), std::make_shared<const Bytes>(std::move(body)));
}

TaskPtr URLSession::uploadTask(URLRequest request, std::shared_ptr<const Bytes> body) {
  auto taskBody = std::make_shared<TaskBody>();
  taskBody->kind = TaskBody::Kind::Data;
  taskBody->data = body ? std::move(body) : std::make_shared<const Bytes>();
  return makeTask(URLSessionTask::Kind::Upload, std::move(request), std::move(taskBody));
}

TaskPtr URLSession::uploadTask(URLRequest request, std::filesystem::path bodyFile) {
  auto taskBody = std::make_shared<TaskBody>();
  taskBody->kind = TaskBody::Kind::File;
  taskBody->file = std::move(bodyFile);
  return makeTask(URLSessionTask::Kind::Upload, std::move(request), std::move(taskBody));
}

TaskPtr URLSession::uploadTaskWithStreamedRequest(URLRequest request) {
  auto taskBody = std::make_shared<TaskBody>();
  taskBody->kind = TaskBody::Kind::Stream;
  return makeTask(URLSessionTask::Kind::Upload, std::move(request), std::move(taskBody));
}

TaskPtr URLSession::downloadTask(URLRequest request) {
  return makeTask(URLSessionTask::Kind::Download, std::move(request), std::make_shared<TaskBody>());
}

TaskPtr URLSession::downloadTaskWithResumeData(Bytes resumeData) {
  auto taskBody = std::make_shared<TaskBody>();
  taskBody->kind = TaskBody::Kind::ResumeData;
  taskBody->data = std::make_shared<const Bytes>(std::move(resumeData));
  return makeTask(URLSessionTask::Kind::Download, URLRequest(), std::move(taskBody));
}

void URLSession::getAllTasks(std::function<void(std::vector<TaskPtr>)> completion) {
  std::vector<TaskPtr> tasks;
  {
    MutexLock lock(mutex_);
    for (const auto& weak : tasks_) {
      TaskPtr task = weak.lock();
      if (task && task->state() != URLSessionTask::State::Completed) tasks.push_back(task);
    }
  }
  delegateQueue_->async(
      [completion = std::move(completion), tasks = std::move(tasks)] { completion(tasks); });
}

void URLSession::finishTasksAndInvalidate() {
  {
    MutexLock lock(mutex_);
    if (invalidating_) return;
    invalidating_ = true;
  }
  invalidateIfDone();
}

void URLSession::invalidateAndCancel() {
  std::vector<TaskPtr> tasks;
  {
    MutexLock lock(mutex_);
    for (const auto& weak : tasks_) {
      if (TaskPtr task = weak.lock()) tasks.push_back(task);
    }
  }
  for (const TaskPtr& task : tasks) {
    if (task->state() != URLSessionTask::State::Suspended) task->cancel();
  }
  finishTasksAndInvalidate();
}

void URLSession::deliver(const TaskPtr& task, bool evenIfCancelled,
                         std::function<void(URLSessionDelegate&, URLSession&)> call) {
  delegateQueue_->async([self = shared_from_this(), task, evenIfCancelled, call = std::move(call)] {
    if (!evenIfCancelled && task && task->record_->cancelled) return;
    if (std::shared_ptr<URLSessionDelegate> delegate = self->delegate()) call(*delegate, *self);
  });
}

void URLSession::taskStarted() {
  MutexLock lock(mutex_);
  ++runningTasks_;
}

void URLSession::completeTask(const TaskPtr& task, std::optional<Error> error) {
  delegateQueue_->async([self = shared_from_this(), task, error = std::move(error)] {
    self->finishTask(task, error);
  });
}

void URLSession::finishTask(const TaskPtr& task, std::optional<Error> error) {
  if (task->record_->completionDelivered.exchange(true)) return;
  // After cancel() the only word of a task is that it was cancelled.
  if (task->record_->cancelled &&
      !(error && error->domain() == kURLErrorDomain && error->code() == kURLErrorCancelled)) {
    error = makeURLError(kURLErrorCancelled, task->currentRequest().urlString());
  }
  task->record_->markCompleted(error);
  if (std::shared_ptr<URLSessionDelegate> delegate = this->delegate()) {
    delegate->didCompleteWithError(*this, task, error);
  }
  {
    MutexLock lock(mutex_);
    --runningTasks_;
  }
  invalidateIfDone();
}

void URLSession::invalidateIfDone() {
  {
    MutexLock lock(mutex_);
    if (!invalidating_ || invalidated_ || runningTasks_ > 0) return;
    invalidated_ = true;
  }
  // After every completion already queued; then the session lets its delegate go.
  delegateQueue_->async([self = shared_from_this()] {
    std::shared_ptr<URLSessionDelegate> delegate;
    {
      MutexLock lock(self->mutex_);
      delegate = std::move(self->delegate_);
    }
    if (delegate) delegate->didBecomeInvalid(*self, std::nullopt);
  });
}

}  // namespace platform::net
