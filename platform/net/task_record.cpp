#include "platform/net/task_record.h"

namespace platform::net {

TaskRecord::State TaskRecord::state() const {
  MutexLock lock(mutex_);
  return state_;
}

bool TaskRecord::markStarted() {
  MutexLock lock(mutex_);
  if (started_) return false;
  started_ = true;
  state_ = State::Running;
  return true;
}

std::optional<bool> TaskRecord::markCancelling() {
  MutexLock lock(mutex_);
  if (state_ == State::Completed || state_ == State::Canceling) return std::nullopt;
  state_ = State::Canceling;
  cancelled = true;
  return !std::exchange(started_, true);
}

void TaskRecord::markCompleted(std::optional<Error> error) {
  MutexLock lock(mutex_);
  state_ = State::Completed;
  error_ = std::move(error);
}

URLRequest TaskRecord::currentRequest() const {
  MutexLock lock(mutex_);
  return *currentRequest_;
}

std::optional<URLResponse> TaskRecord::response() const {
  MutexLock lock(mutex_);
  return response_;
}

std::optional<int> TaskRecord::statusCode() const {
  MutexLock lock(mutex_);
  if (!response_) return std::nullopt;
  return response_->statusCode;
}

std::optional<Error> TaskRecord::error() const {
  MutexLock lock(mutex_);
  return error_;
}

std::string TaskRecord::taskDescription() const {
  MutexLock lock(mutex_);
  return taskDescription_;
}

void TaskRecord::setTaskDescription(std::string description) {
  MutexLock lock(mutex_);
  taskDescription_ = std::move(description);
}

int64_t TaskRecord::bytesSent() const {
  MutexLock lock(mutex_);
  return bytesSent_;
}

int64_t TaskRecord::bytesExpectedToSend() const {
  MutexLock lock(mutex_);
  return bytesExpectedToSend_;
}

int64_t TaskRecord::bytesReceived() const {
  MutexLock lock(mutex_);
  return bytesReceived_;
}

int64_t TaskRecord::bytesExpectedToReceive() const {
  MutexLock lock(mutex_);
  return bytesExpectedToReceive_;
}

void TaskRecord::beginLeg(std::shared_ptr<const URLRequest> request, int64_t bytesExpectedToSend) {
  MutexLock lock(mutex_);
  currentRequest_ = std::move(request);
  bytesExpectedToSend_ = bytesExpectedToSend;
}

void TaskRecord::setResponse(URLResponse response) {
  MutexLock lock(mutex_);
  bytesExpectedToReceive_ = response.expectedContentLength;
  response_ = std::move(response);
}

int64_t TaskRecord::setBytesSent(int64_t sent) {
  MutexLock lock(mutex_);
  bytesSent_ = sent;
  return bytesExpectedToSend_;
}

std::pair<int64_t, int64_t> TaskRecord::addBytesReceived(int64_t count) {
  MutexLock lock(mutex_);
  bytesReceived_ += count;
  return {bytesReceived_, bytesExpectedToReceive_};
}

}  // namespace platform::net
