#include "platform/net/response_hand_over.h"

#include "platform/dispatch/once_callback.h"
#include "platform/foundation/url_error.h"

namespace platform::net {

void ResponseHandOver::deliver(const TaskRun& run, URLResponse response, Bytes body,
                               std::optional<Error> outcome, std::string urlText) {
  auto handOver = std::make_shared<ResponseHandOver>(run, std::move(response), std::move(body),
                                                     std::move(outcome), std::move(urlText));
  run.session->delegateQueue()->async([handOver] { handOver->ask(); });
}

ResponseHandOver::ResponseHandOver(const TaskRun& run, URLResponse response, Bytes body,
                                   std::optional<Error> outcome, std::string urlText)
    : task_(run.task),
      session_(run.session),
      record_(run.record),
      response_(std::move(response)),
      body_(std::move(body)),
      outcome_(std::move(outcome)),
      urlText_(std::move(urlText)) {}

void ResponseHandOver::ask() {
  std::shared_ptr<URLSessionDelegate> delegate = session_->delegate();
  // A task cancelled meanwhile, or a session without a delegate, hears only its completion.
  if (record_->cancelled || !delegate) return finish(ResponseDisposition::Cancel);
  auto self = shared_from_this();
  {
    MutexLock lock(mutex_);
    inCall_ = true;
  }
  {
    // An answer dropped unanswered cancels, like any other.
    OnceCallback<ResponseDisposition> answer(
        [self](ResponseDisposition choice) { self->answered(choice); },
        [self] { self->answered(ResponseDisposition::Cancel); });
    delegate->didReceiveResponse(*session_, task_, response_, answer);
    MutexLock lock(mutex_);
    inCall_ = false;
  }
  std::optional<ResponseDisposition> early;
  {
    MutexLock lock(mutex_);
    early = early_;
  }
  if (early) finish(*early);
}

void ResponseHandOver::answered(ResponseDisposition disposition) {
  {
    MutexLock lock(mutex_);
    if (inCall_) {
      early_ = disposition;
      return;
    }
  }
  session_->delegateQueue()->async(
      [self = shared_from_this(), disposition] { self->finish(disposition); });
}

void ResponseHandOver::finish(ResponseDisposition disposition) {
  const bool allowed = disposition == ResponseDisposition::Allow;
  if (allowed && !body_.empty() && !record_->cancelled) {
    record_->addBytesReceived(static_cast<int64_t>(body_.size()));
    if (std::shared_ptr<URLSessionDelegate> delegate = session_->delegate()) {
      delegate->didReceiveData(*session_, task_, body_);
    }
  }
  session_->finishTask(task_, allowed ? outcome_ : makeURLError(kURLErrorCancelled, urlText_));
}

}  // namespace platform::net
