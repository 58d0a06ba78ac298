#pragma once

// A fetcher's running task: the session and the task in it, the response, and the body gathered
// so far. Thread-safe: the state sits under the owner's lock.

#include <optional>

#include "platform/dispatch/queue.h"
#include "platform/foundation/value.h"
#include "platform/net/url_session.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherTask {
 public:
  using Bytes = platform::Bytes;
  using Error = platform::Error;
  using TaskPtr = platform::net::TaskPtr;
  using URLResponse = platform::net::URLResponse;

  FetcherTask() : delegateQueue_(platform::mainQueue()) {}

  // The session given from outside: the fetcher lets it go when the fetch ends.
  void setSession(std::shared_ptr<platform::net::URLSession> session);
  // A session the fetcher made (`own`: one the fetcher invalidates when done).
  void useSession(std::shared_ptr<platform::net::URLSession> session, bool own);
  void markSessionToInvalidate();
  // The session to invalidate now the fetch is over, if the fetcher made it and no task runs.
  std::shared_ptr<platform::net::URLSession> takeSessionToInvalidate(bool evenWithTask);
  void dropSession();

  // Replaces the task; answers whether it changed.
  bool setTask(TaskPtr task);
  // Lets the task go and keeps its last response (unless simulated); answers the task.
  TaskPtr takeTask();
  // The response: the running task's, or the last one kept.
  std::optional<URLResponse> response() const;
  // The status of response(), 0 without one; the response itself is not copied.
  int statusCode() const;
  void setResponse(std::optional<URLResponse> response);

  // A fresh body for a new fetch (an empty one when `gather`, none otherwise).
  void resetBody();
  void gatherBody();
  // Appends body bytes; answers the new total.
  int64_t appendBody(const Bytes& data);
  void countBody(int64_t bytes);
  // The head changed: what was gathered is dropped; answers whether there were bytes.
  bool restartBody();
  // A success's body, after writing it to the destination file (when one is given).
  void setBody(std::optional<Bytes> data);
  bool hasBody() const;
  // A failed download move, or the like, that fails an otherwise good fetch.
  std::optional<Error> deferredError() const;
  void setDeferredError(std::optional<Error> error);
  // Answers whether the stop notification was due (and clears it).
  bool takeStopNotification();
  // The fetch began now, unless an earlier try began it.
  void noteStart();
  std::optional<platform::Date> started() const;

  VKR_LOCKED_PROPERTY(std::shared_ptr<platform::net::URLSession>, session, setSessionValue,
                      session_)
  VKR_LOCKED_PROPERTY(TaskPtr, task, setTaskValue, task_)
  VKR_LOCKED_PROPERTY(std::optional<Bytes>, body, setBodyValue, body_)
  VKR_LOCKED_PROPERTY(int64_t, bodyLength, setBodyLength, bodyLength_)
  VKR_LOCKED_PROPERTY(bool, usingTestBlock, setUsingTestBlock, usingTestBlock_)
  VKR_LOCKED_PROPERTY(bool, stopNotificationNeeded, setStopNotificationNeeded,
                      stopNotificationNeeded_)
  VKR_LOCKED_PROPERTY(platform::QueuePtr, delegateQueue, setDelegateQueue, delegateQueue_)

 private:
  mutable platform::Mutex mutex_;
  std::shared_ptr<platform::net::URLSession> session_ VKR_GUARDED_BY(mutex_);
  bool shouldInvalidateSession_ VKR_GUARDED_BY(mutex_) = false;
  TaskPtr task_ VKR_GUARDED_BY(mutex_);
  std::optional<URLResponse> response_ VKR_GUARDED_BY(mutex_);
  std::optional<Bytes> body_ VKR_GUARDED_BY(mutex_);
  int64_t bodyLength_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<Error> deferredError_ VKR_GUARDED_BY(mutex_);
  bool usingTestBlock_ VKR_GUARDED_BY(mutex_) = false;
  bool stopNotificationNeeded_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<platform::Date> started_ VKR_GUARDED_BY(mutex_);
  platform::QueuePtr delegateQueue_ VKR_GUARDED_BY(mutex_);
};
