#include "platform/dispatch/run_work.h"

#include <exception>
#include <future>

#include "platform/foundation/log.h"

namespace platform {

void runWork(const std::string& label, const Work& work) {
  try {
    work();
  } catch (const std::exception& ex) {
    logf("Uncaught exception on queue '%s': %s", label.c_str(), ex.what());
  } catch (...) {
    logf("Uncaught exception on queue '%s'", label.c_str());
  }
}

void runFront(const std::string& label, MutexLock& lock, std::deque<Work>& items) {
  Work work = std::move(items.front());
  items.pop_front();
  lock.unlock();
  runWork(label, work);
  work = nullptr;
  lock.lock();
}

void DispatchQueue::sync(const Work& work) {
  if (isCurrent()) {
    runWork(label(), work);
    return;
  }
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  async([&] {
    runWork(label(), work);
    done.set_value();
  });
  finished.wait();
}

}  // namespace platform
