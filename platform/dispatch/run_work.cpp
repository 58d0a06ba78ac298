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

void runAndWait(const std::function<void(Work)>& post, const Work& work) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  post([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

}  // namespace platform
