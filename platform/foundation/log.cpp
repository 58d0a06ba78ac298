#include "platform/foundation/log.h"

#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "platform/foundation/thread_annotations.h"

namespace platform {

namespace {
// Also keeps lines of different threads whole on the console.
struct ObserverSlot {
  Mutex mutex;
  LogObserver observer VKR_GUARDED_BY(mutex);
};
ObserverSlot& observerSlot() {
  static ObserverSlot slot;
  return slot;
}
std::atomic<bool> consoleEnabled{true};
}  // namespace

std::string vformat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string out(static_cast<size_t>(needed), '\0');
  va_copy(copy, args);
  std::vsnprintf(out.data(), out.size() + 1, fmt, copy);
  va_end(copy);
  return out;
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = vformat(fmt, args);
  va_end(args);
  return out;
}

void log(std::string_view message) {
  ObserverSlot& slot = observerSlot();
  MutexLock lock(slot.mutex);
  if (consoleEnabled.load(std::memory_order_relaxed)) {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03ld vokaru[%d] %.*s\n", stamp, static_cast<long>(now.tv_usec / 1000),
                 static_cast<int>(getpid()), static_cast<int>(message.size()), message.data());
  }
  if (slot.observer) slot.observer(message);
}

void logf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string message = vformat(fmt, args);
  va_end(args);
  log(message);
}

LogObserver setLogObserver(LogObserver observer) {
  ObserverSlot& slot = observerSlot();
  MutexLock lock(slot.mutex);
  std::swap(slot.observer, observer);
  return observer;
}

void setConsoleLogging(bool enabled) { consoleEnabled.store(enabled); }

}  // namespace platform
