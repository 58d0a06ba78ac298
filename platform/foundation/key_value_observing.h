#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

namespace platform {

// What an observer asks to be told with each change.
enum KeyValueObservingOptions : uint32_t {
  kKeyValueObservingOptionNew = 0x01,      // the change's "new" value
  kKeyValueObservingOptionOld = 0x02,      // the change's "old" value
  kKeyValueObservingOptionInitial = 0x04,  // one notification at once, when observing begins
  kKeyValueObservingOptionPrior = 0x08,    // one more before each change ("notificationIsPrior")
};
// Keys of the change dictionary.
inline constexpr const char* kKeyValueChangeKindKey = "kind";  // 1: the value was set
inline constexpr const char* kKeyValueChangeNewKey = "new";
inline constexpr const char* kKeyValueChangeOldKey = "old";
inline constexpr const char* kKeyValueChangeNotificationIsPriorKey = "notificationIsPrior";
inline constexpr int64_t kKeyValueChangeSetting = 1;

class KeyValueObservable;

// Told of changes of the observed keys, on the thread that made the change.
class KeyValueObserver {
 public:
  virtual ~KeyValueObserver() = default;
  virtual void observeValueForKeyPath(const std::string& keyPath, const KeyValueObservable& object,
                                      const Dictionary& change, const void* context) = 0;
};

// An object whose named properties can be observed: each set tells the key's observers (frames
// and bounds of views, or any key a subclass keeps). Observers are held weakly: one that is gone
// is not called. Thread-safe; observers are called outside the lock.
class KeyValueObservable {
 public:
  virtual ~KeyValueObservable() = default;

  void addObserver(const std::shared_ptr<KeyValueObserver>& observer, std::string keyPath,
                   uint32_t options, const void* context);
  // Removes the registrations of the observer for the key (with that context); unknown ones are
  // ignored.
  void removeObserver(const KeyValueObserver* observer, std::string_view keyPath,
                      const void* context);

  Value valueForKey(std::string_view key) const;
  // Stores the value and tells the key's observers.
  void setValueForKey(std::string key, Value value);

 private:
  struct Registration {
    std::weak_ptr<KeyValueObserver> observer;
    const KeyValueObserver* identity;
    std::string keyPath;
    uint32_t options;
    const void* context;
  };
  std::vector<Registration> registrationsFor(std::string_view keyPath) const;

  mutable Mutex mutex_;
  Dictionary values_ VKR_GUARDED_BY(mutex_);
  std::vector<Registration> registrations_ VKR_GUARDED_BY(mutex_);
};

}  // namespace platform
