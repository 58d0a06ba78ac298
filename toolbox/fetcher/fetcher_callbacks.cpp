#include "toolbox/fetcher/fetcher_callbacks.h"

void FetcherCallbacks::invoke(bool afterUserStopped, std::shared_ptr<void> keepAlive, Block block) {
  platform::QueuePtr target = queue();
  if (!target) return;
  ++*pending_;
  group_.async(target, [this, afterUserStopped, keepAlive = std::move(keepAlive),
                        pending = pending_, block = std::move(block)] {
    --*pending;
    if (!afterUserStopped && userStopped()) return;
    block();
  });
}

bool FetcherCallbacks::canRunNow() const {
  platform::QueuePtr target = queue();
  return target && *pending_ == 0 && target->isCurrent();
}

bool FetcherCallbacks::userStopped() const {
  platform::MutexLock lock(mutex_);
  return userStopped_;
}

void FetcherCallbacks::setUserStopped() {
  platform::MutexLock lock(mutex_);
  userStopped_ = true;
}

fetcher_blocks::ResumeDataBlock FetcherCallbacks::takeResumeDataBlock() {
  platform::MutexLock lock(mutex_);
  return std::exchange(resumeData_, nullptr);
}

void FetcherCallbacks::release() {
  platform::MutexLock lock(mutex_);
  queue_.reset();
  completion_ = nullptr;
  configuration_ = nullptr;
  didReceiveResponse_ = nullptr;
  willRedirect_ = nullptr;
  sendProgress_ = nullptr;
  receivedProgress_ = nullptr;
  downloadProgress_ = nullptr;
  accumulate_ = nullptr;
  willCache_ = nullptr;
  retry_ = nullptr;
  test_ = nullptr;
  resumeData_ = nullptr;
}
