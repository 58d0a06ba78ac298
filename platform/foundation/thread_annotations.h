#pragma once

// Clang's thread-safety analysis: which lock guards which field, and which functions need it held.
// Other compilers see plain code. Build with clang and -Wthread-safety to have the rules checked.

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

// Holds a Mutex for its scope.
class VKR_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) VKR_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() VKR_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace platform
