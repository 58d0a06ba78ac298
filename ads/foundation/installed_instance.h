#pragma once

#include <memory>

#include "platform/foundation/thread_annotations.h"

// The process-wide instance of an interface that a component above the foundation implements
// and installs when it starts (the foundation reaches it through the interface only). Null until
// one is installed. Thread-safe.
template <typename T>
class ZADInstalledInstance {
 public:
  static std::shared_ptr<T> get() {
    Slot& slot = instance();
    platform::MutexLock lock(slot.mutex);
    return slot.object;
  }
  static void set(std::shared_ptr<T> object) {
    Slot& slot = instance();
    platform::MutexLock lock(slot.mutex);
    slot.object = std::move(object);
  }

 private:
  struct Slot {
    platform::Mutex mutex;
    std::shared_ptr<T> object VKR_GUARDED_BY(mutex);
  };
  static Slot& instance() {
    static Slot* slot = new Slot();  // used until the process ends
    return *slot;
  }
};

// A base that gives an interface its shared instance: `class X : public ZADInstallable<X>`.
template <typename T>
class ZADInstallable {
 public:
  // The installed instance; null before its component installed one.
  static std::shared_ptr<T> sharedInstance() { return ZADInstalledInstance<T>::get(); }
  static void setSharedInstance(std::shared_ptr<T> instance) {
    ZADInstalledInstance<T>::set(std::move(instance));
  }
};
