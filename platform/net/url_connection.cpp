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
