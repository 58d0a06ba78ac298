#pragma once

// A fetcher's side facing its caller: the blocks the caller gave, the queue they run on, and
// whether the caller stopped the fetch. Thread-safe: everything sits under the owner's lock, and
// blocks run with it released.

#include <atomic>
#include <memory>

#include "platform/dispatch/group.h"
#include "platform/dispatch/queue.h"
#include "toolbox/fetcher/fetcher_blocks.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherCallbacks {
 public:
  using Block = std::function<void()>;

  FetcherCallbacks() : queue_(platform::mainQueue()) {}

  platform::DispatchGroup group() const { return group_; }

  // Runs the block on the callback queue, later, unless the caller stopped the fetch by then
  // (`afterUserStopped` runs it anyway). `keepAlive` holds the fetcher until it has run.
  void invoke(bool afterUserStopped, std::shared_ptr<void> keepAlive, Block block);
  // Whether a block may run at once instead: the callback queue is the current one and no block
  // posted before waits on it (so order is kept).
  bool canRunNow() const;

  bool userStopped() const;
  void setUserStopped();
  // The caller's resume-data block, taken so it runs once.
  fetcher_blocks::ResumeDataBlock takeResumeDataBlock();
  // Lets every block go (and the queue), so nothing the caller gave outlives the fetch.
  void release();

  VKR_LOCKED_PROPERTY(platform::QueuePtr, queue, setQueue, queue_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::CompletionHandler, completion, setCompletion, completion_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::ConfigurationBlock, configuration, setConfiguration,
                      configuration_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::AccumulateDataBlock, accumulate, setAccumulate, accumulate_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::ReceivedProgressBlock, receivedProgress, setReceivedProgress,
                      receivedProgress_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::DownloadProgressBlock, downloadProgress, setDownloadProgress,
                      downloadProgress_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::SendProgressBlock, sendProgress, setSendProgress,
                      sendProgress_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::ResumeDataBlock, resumeData, setResumeData, resumeData_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::DidReceiveResponseBlock, didReceiveResponse,
                      setDidReceiveResponse, didReceiveResponse_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::WillRedirectBlock, willRedirect, setWillRedirect,
                      willRedirect_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::WillCacheURLResponseBlock, willCache, setWillCache,
                      willCache_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::RetryBlock, retry, setRetry, retry_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::TestBlock, test, setTest, test_)

 private:
  mutable platform::Mutex mutex_;
  platform::QueuePtr queue_ VKR_GUARDED_BY(mutex_);
  bool userStopped_ VKR_GUARDED_BY(mutex_) = false;
  fetcher_blocks::CompletionHandler completion_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::ConfigurationBlock configuration_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::AccumulateDataBlock accumulate_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::ReceivedProgressBlock receivedProgress_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::DownloadProgressBlock downloadProgress_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::SendProgressBlock sendProgress_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::ResumeDataBlock resumeData_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::DidReceiveResponseBlock didReceiveResponse_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::WillRedirectBlock willRedirect_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::WillCacheURLResponseBlock willCache_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::RetryBlock retry_ VKR_GUARDED_BY(mutex_);
  fetcher_blocks::TestBlock test_ VKR_GUARDED_BY(mutex_);
  mutable platform::DispatchGroup group_;  // thread-safe, shared by copies
  // Blocks posted and not yet run: a block may run at once only when none waits.
  const std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
};
