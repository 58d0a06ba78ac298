#pragma once

// Internal to URL loading: what a task has come to, written by its driver on its engine's thread
// and by the session on the delegate queue, read from any thread through the task. Thread-safe: the
// fields sit under the record's own lock, the flags that deliveries read are atomic.

#include <atomic>
#include <optional>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/url_session.h"

namespace platform::net {

class TaskRecord {
 public:
  using State = URLSessionTask::State;

  explicit TaskRecord(std::shared_ptr<const URLRequest> request)
      : currentRequest_(std::move(request)) {}

  State state() const;
  // Marks the task running; false when it was started (or cancelled) before.
  bool markStarted();
  // Marks the task cancelling; answers whether it must still be started (so that it completes),
  // or nullopt when it was cancelled or completed before.
  std::optional<bool> markCancelling();
  void markCompleted(std::optional<Error> error);

  URLRequest currentRequest() const;
  std::optional<URLResponse> response() const;
  // The response's status, without copying the response; nullopt before one came.
  std::optional<int> statusCode() const;
  std::optional<Error> error() const;
  std::string taskDescription() const;
  void setTaskDescription(std::string description);
  int64_t bytesSent() const;
  int64_t bytesExpectedToSend() const;
  int64_t bytesReceived() const;
  int64_t bytesExpectedToReceive() const;

  // A new leg goes out.
  void beginLeg(std::shared_ptr<const URLRequest> request, int64_t bytesExpectedToSend);
  void setResponse(URLResponse response);
  // Answers the bytes sent so far's expected total.
  int64_t setBytesSent(int64_t sent);
  // Answers the new total and the expected total.
  std::pair<int64_t, int64_t> addBytesReceived(int64_t count);

  // Read by deliveries to drop what comes after a cancel.
  std::atomic<bool> cancelled{false};
  std::atomic<bool> completionDelivered{false};
  // Body bytes handed to the delegate queue and not yet delivered (to pause fast servers).
  std::atomic<int64_t> bytesInFlight{0};

 private:
  mutable Mutex mutex_;
  State state_ VKR_GUARDED_BY(mutex_) = State::Suspended;
  bool started_ VKR_GUARDED_BY(mutex_) = false;
  std::shared_ptr<const URLRequest> currentRequest_ VKR_GUARDED_BY(mutex_);
  std::optional<URLResponse> response_ VKR_GUARDED_BY(mutex_);
  std::optional<Error> error_ VKR_GUARDED_BY(mutex_);
  std::string taskDescription_ VKR_GUARDED_BY(mutex_);
  int64_t bytesSent_ VKR_GUARDED_BY(mutex_) = 0;
  int64_t bytesExpectedToSend_ VKR_GUARDED_BY(mutex_) = 0;
  int64_t bytesReceived_ VKR_GUARDED_BY(mutex_) = 0;
  int64_t bytesExpectedToReceive_ VKR_GUARDED_BY(mutex_) = -1;
};

}  // namespace platform::net
