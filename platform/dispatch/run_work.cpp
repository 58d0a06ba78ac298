#include "platform/dispatch/run_work.h"

#include <exception>
#include <future>

#include "platform/foundation/log.h"

namespace platform {

void runWork(const DispatchQueue& queue, const Work& work) {
  try {
    work();
  } catch (const std::exception& ex) {
    logf("Uncaught exception on queue '%s': %s", queue.label().c_str(), ex.what());
  } catch (...) {
    logf("Uncaught exception on queue '%s'", queue.label().c_str());
  }
}

void runFront(const DispatchQueue& queue, std::unique_lock<std::mutex>& lock,
              std::deque<Work>& items) {
  Work work = std::move(items.front());
  items.pop_front();
  lock.unlock();
  runWork(queue, work);
  work = nullptr;
  lock.lock();
}

void DispatchQueue::sync(const Work& work) {
  if (isCurrent()) {
    runWork(*this, work);
    return;
  }
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  async([&] {
    runWork(*this, work);
    done.set_value();
  });
  finished.wait();
}

}  // namespace platform
