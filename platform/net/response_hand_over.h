#pragma once

// Internal to URL loading: the delivery of a response whose whole body and outcome are known when
// the delegate is first asked about it. One call on the delegate queue asks about the response
// and, when the delegate answers during the call (as most do), hands over the body and the
// completion at once. The engine is done with the task by then: an answer that comes later, or
// never, ends the task on the delegate queue too.

#include <memory>
#include <optional>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/task_body.h"

namespace platform::net {

class ResponseHandOver : public std::enable_shared_from_this<ResponseHandOver> {
 public:
  static void deliver(const TaskRun& run, URLResponse response, Bytes body,
                      std::optional<Error> outcome, std::string urlText);

  ResponseHandOver(const TaskRun& run, URLResponse response, Bytes body,
                   std::optional<Error> outcome, std::string urlText);

 private:
  void ask();
  void answered(ResponseDisposition disposition);
  void finish(ResponseDisposition disposition);

  const TaskPtr task_;
  const std::shared_ptr<URLSession> session_;
  const std::shared_ptr<TaskRecord> record_;
  const URLResponse response_;
  const Bytes body_;
  const std::optional<Error> outcome_;
  const std::string urlText_;

  Mutex mutex_;
  bool inCall_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<ResponseDisposition> early_ VKR_GUARDED_BY(mutex_);
};

}  // namespace platform::net
