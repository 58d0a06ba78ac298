#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

namespace platform {

struct Notification {
  std::string name;
  // Identity of the posting object; observers may ask for one sender only.
  const void* sender = nullptr;
  // The notification's object when it carries one (a URL text, a shared_ptr to a component, ...).
  std::any object;
  Value userInfo;

  template <typename T>
  const T* objectAs() const {
    return std::any_cast<T>(&object);
  }
};

using NotificationHandler = std::function<void(const Notification&)>;

// Named notifications with observers. Thread-safe: posting from any thread, observers called on
// the posting thread, or on their own queue when they named one.
class NotificationCenter {
 public:
  // Stops its observation when destroyed (or on reset()); move-only.
  class Observation {
   public:
    Observation() = default;
    Observation(Observation&&) noexcept = default;
    Observation& operator=(Observation&& other) noexcept;
    ~Observation();
    void reset();
    bool active() const;

   private:
    friend class NotificationCenter;
    struct Entry;
    Observation(std::weak_ptr<NotificationCenter*> center, std::shared_ptr<Entry> entry)
        : center_(std::move(center)), entry_(std::move(entry)) {}
    std::weak_ptr<NotificationCenter*> center_;
    std::shared_ptr<Entry> entry_;
  };

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  static NotificationCenter& defaultCenter();

  // Observes notifications of the name (every name when empty) from the sender (any when null).
  [[nodiscard]] Observation addObserver(std::string name, const void* sender,
                                        NotificationHandler handler, QueuePtr queue = nullptr);

  void post(const Notification& notification);
  // Whether a post of the name from the sender would reach an observer now: a poster whose
  // notification is costly to build may skip it when nobody listens.
  bool isObserved(std::string_view name, const void* sender) const;
  void post(std::string name, const void* sender = nullptr, Value userInfo = Value(),
            std::any object = {});

 private:
  void remove(const std::shared_ptr<Observation::Entry>& entry);

  mutable Mutex mutex_;
  std::vector<std::shared_ptr<Observation::Entry>> entries_ VKR_GUARDED_BY(mutex_);
  // Observations hold this weakly, so one that outlives its center is harmless.
  std::shared_ptr<NotificationCenter*> self_;
};

}  // namespace platform
