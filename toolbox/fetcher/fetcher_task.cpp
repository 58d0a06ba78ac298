#include "toolbox/fetcher/fetcher_task.h"

#include "platform/dispatch/clock.h"

void FetcherTask::setSession(std::shared_ptr<platform::net::URLSession> session) {
  platform::MutexLock lock(mutex_);
  if (session == session_) return;
  shouldInvalidateSession_ = session != nullptr;
  session_ = std::move(session);
}

void FetcherTask::useSession(std::shared_ptr<platform::net::URLSession> session, bool own) {
  platform::MutexLock lock(mutex_);
  session_ = std::move(session);
  if (session_ && own) shouldInvalidateSession_ = true;
}

void FetcherTask::markSessionToInvalidate() {
  platform::MutexLock lock(mutex_);
  shouldInvalidateSession_ = true;
}

std::shared_ptr<platform::net::URLSession> FetcherTask::takeSessionToInvalidate(bool evenWithTask) {
  platform::MutexLock lock(mutex_);
  if (!shouldInvalidateSession_ || (task_ && !evenWithTask)) return nullptr;
  shouldInvalidateSession_ = false;
  return std::exchange(session_, nullptr);
}

void FetcherTask::dropSession() {
  platform::MutexLock lock(mutex_);
  session_.reset();
}

bool FetcherTask::setTask(TaskPtr task) {
  platform::MutexLock lock(mutex_);
  if (task == task_) return false;
  task_ = std::move(task);
  return true;
}

FetcherTask::TaskPtr FetcherTask::takeTask() {
  platform::MutexLock lock(mutex_);
  TaskPtr task = std::exchange(task_, nullptr);
  if (task && !usingTestBlock_) response_ = task->response();
  return task;
}

std::optional<FetcherTask::URLResponse> FetcherTask::response() const {
  TaskPtr task;
  {
    platform::MutexLock lock(mutex_);
    if (!task_ || usingTestBlock_) return response_;
    task = task_;
  }
  if (std::optional<URLResponse> current = task->response()) return current;
  platform::MutexLock lock(mutex_);
  return response_;
}

int FetcherTask::statusCode() const {
  TaskPtr task;
  {
    platform::MutexLock lock(mutex_);
    if (!task_ || usingTestBlock_) return response_ ? response_->statusCode : 0;
    task = task_;
  }
  if (std::optional<int> current = task->responseStatusCode()) return *current;
  platform::MutexLock lock(mutex_);
  return response_ ? response_->statusCode : 0;
}

void FetcherTask::setResponse(std::optional<URLResponse> response) {
  platform::MutexLock lock(mutex_);
  response_ = std::move(response);
}

void FetcherTask::resetBody() {
  platform::MutexLock lock(mutex_);
  body_.reset();
  bodyLength_ = 0;
}

void FetcherTask::gatherBody() {
  platform::MutexLock lock(mutex_);
  body_ = Bytes();
}

int64_t FetcherTask::appendBody(const Bytes& data) {
  platform::MutexLock lock(mutex_);
  if (!body_) body_ = Bytes();
  body_->insert(body_->end(), data.begin(), data.end());
  bodyLength_ = static_cast<int64_t>(body_->size());
  return bodyLength_;
}

void FetcherTask::countBody(int64_t bytes) {
  platform::MutexLock lock(mutex_);
  bodyLength_ += bytes;
}

bool FetcherTask::restartBody() {
  platform::MutexLock lock(mutex_);
  const bool hadBytes = bodyLength_ > 0;
  if (body_) body_->clear();
  bodyLength_ = 0;
  return hadBytes;
}

void FetcherTask::setBody(std::optional<Bytes> data) {
  platform::MutexLock lock(mutex_);
  body_ = std::move(data);
}

bool FetcherTask::hasBody() const {
  platform::MutexLock lock(mutex_);
  return body_ && !body_->empty();
}

std::optional<platform::Error> FetcherTask::deferredError() const {
  platform::MutexLock lock(mutex_);
  return deferredError_;
}

void FetcherTask::setDeferredError(std::optional<Error> error) {
  platform::MutexLock lock(mutex_);
  deferredError_ = std::move(error);
}

bool FetcherTask::takeStopNotification() {
  platform::MutexLock lock(mutex_);
  return std::exchange(stopNotificationNeeded_, false);
}

void FetcherTask::noteStart() {
  platform::MutexLock lock(mutex_);
  if (!started_) started_ = platform::now();
}

std::optional<platform::Date> FetcherTask::started() const {
  platform::MutexLock lock(mutex_);
  return started_;
}
