#pragma once

// Clang's thread-safety analysis: which lock guards which field, and which functions need it held.
// Other compilers see plain code. Build with clang and -Wthread-safety to have the rules checked.

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define VKR_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VKR_THREAD_ANNOTATION(x)
#endif

#define VKR_CAPABILITY(x) VKR_THREAD_ANNOTATION(capability(x))
#define VKR_SCOPED_CAPABILITY VKR_THREAD_ANNOTATION(scoped_lockable)
#define VKR_GUARDED_BY(x) VKR_THREAD_ANNOTATION(guarded_by(x))
#define VKR_PT_GUARDED_BY(x) VKR_THREAD_ANNOTATION(pt_guarded_by(x))
#define VKR_REQUIRES(...) VKR_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VKR_ACQUIRE(...) VKR_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VKR_RELEASE(...) VKR_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VKR_TRY_ACQUIRE(...) VKR_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define VKR_EXCLUDES(...) VKR_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VKR_RETURN_CAPABILITY(x) VKR_THREAD_ANNOTATION(lock_returned(x))
#define VKR_NO_THREAD_SAFETY_ANALYSIS VKR_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace platform {

// A std::mutex the analysis knows about. native() is for std::condition_variable waits.
class VKR_CAPABILITY("mutex") Mutex {
 public:
  void lock() VKR_ACQUIRE() { mutex_.lock(); }
  void unlock() VKR_RELEASE() { mutex_.unlock(); }
  bool try_lock() VKR_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  std::mutex& native() VKR_RETURN_CAPABILITY(this) { return mutex_; }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope. unlock() and lock() let go of it for a while (work run outside the
// lock); wait() lets go of it while waiting on a condition variable, so callers write the waiting
// loop themselves (`while (!ready) lock.wait(condition);`), where the analysis sees the lock held.
class VKR_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) VKR_ACQUIRE(mutex) : lock_(mutex.native()) {}
  ~MutexLock() VKR_RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void unlock() VKR_RELEASE() { lock_.unlock(); }
  void lock() VKR_ACQUIRE() { lock_.lock(); }
  void wait(std::condition_variable& condition) { condition.wait(lock_); }
  // Answers false when the deadline passed first.
  template <typename Clock, typename Duration>
  bool waitUntil(std::condition_variable& condition,
                 const std::chrono::time_point<Clock, Duration>& deadline) {
    return condition.wait_until(lock_, deadline) == std::cv_status::no_timeout;
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace platform
