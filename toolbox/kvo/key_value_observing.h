#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/thread_annotations.h"

class ZSDK_ZTMKeyValueChangeNotification;

// The observer's operation that takes the change notification; its address identifies it in
// registrations.
using ZTMKeyValueSelector = void (*)(void* observer,
                                     const ZSDK_ZTMKeyValueChangeNotification& notification);

// One change of an observed key path, as an observer's selector receives it. A value.
class ZSDK_ZTMKeyValueChangeNotification {
 public:
  ZSDK_ZTMKeyValueChangeNotification(std::string keyPath,
                                     std::shared_ptr<const platform::KeyValueObservable> object,
                                     std::optional<platform::Value> userInfo,
                                     std::optional<platform::Dictionary> change);

  const std::string& keyPath() const { return keyPath_; }
  const std::shared_ptr<const platform::KeyValueObservable>& object() const { return object_; }
  const std::optional<platform::Value>& userInfo() const { return userInfo_; }
  const std::optional<platform::Dictionary>& change() const { return change_; }

  // Equal key paths, and object, user info and change each present and equal.
  bool operator==(const ZSDK_ZTMKeyValueChangeNotification& other) const;
  size_t hash() const;
  std::string description() const;

 private:
  std::string keyPath_;
  std::shared_ptr<const platform::KeyValueObservable> object_;
  std::optional<platform::Value> userInfo_;
  std::optional<platform::Dictionary> change_;
};

// One registration: observes the key path of the target and calls the observer's selector with
// each change. The observer and the target are not retained. Thread-safe.
class ZSDK_ZTMKeyValueObservingHelper
    : public platform::KeyValueObserver,
      public std::enable_shared_from_this<ZSDK_ZTMKeyValueObservingHelper> {
 public:
  // Made and registered with the target at once.
  static std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper> create(
      void* observer, const std::shared_ptr<platform::KeyValueObservable>& object,
      std::string keyPath, ZTMKeyValueSelector selector, std::optional<platform::Value> userInfo,
      uint32_t options);
  ~ZSDK_ZTMKeyValueObservingHelper() override;

  void observeValueForKeyPath(const std::string& keyPath,
                              const platform::KeyValueObservable& object,
                              const platform::Dictionary& change, const void* context) override;
  // Stops observing the target (once).
  void deregister();
  std::string description() const;

 private:
  ZSDK_ZTMKeyValueObservingHelper(void* observer, ZTMKeyValueSelector selector,
                                  std::optional<platform::Value> userInfo, std::string keyPath,
                                  std::weak_ptr<platform::KeyValueObservable> target);

  void* const observer_;
  const ZTMKeyValueSelector selector_;
  const std::optional<platform::Value> userInfo_;
  mutable platform::Mutex mutex_;
  std::weak_ptr<platform::KeyValueObservable> target_ VKR_GUARDED_BY(mutex_);
  const std::string keyPath_;
};

// The process's registrations, by observer, key path, selector and object. Thread-safe.
class ZSDK_ZTMKeyValueObservingCenter {
 public:
  static ZSDK_ZTMKeyValueObservingCenter& defaultCenter();

  // Registers (replacing the same registration made before).
  void addObserver(void* observer, const std::shared_ptr<platform::KeyValueObservable>& object,
                   std::string keyPath, ZTMKeyValueSelector selector,
                   std::optional<platform::Value> userInfo, uint32_t options);
  // Removes that registration; with no object, key path and selector, every registration of the
  // observer.
  void removeObserver(const void* observer, const platform::KeyValueObservable* object,
                      std::string_view keyPath, ZTMKeyValueSelector selector);
  static std::string dictionaryKeyForObserver(const void* observer,
                                              const platform::KeyValueObservable* object,
                                              std::string_view keyPath,
                                              ZTMKeyValueSelector selector);

 private:
  platform::Mutex mutex_;
  std::map<std::string, std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper>> observerHelpers_
      VKR_GUARDED_BY(mutex_);
};

// Called on the observed object: a missing observer, an empty key path or a null selector is a
// caller error, reported with "Missing observer, keyPath, or selector" and passed on.
void ztm_addObserver(const std::shared_ptr<platform::KeyValueObservable>& object, void* observer,
                     std::string keyPath, ZTMKeyValueSelector selector,
                     std::optional<platform::Value> userInfo, uint32_t options);
void ztm_removeObserver(const platform::KeyValueObservable& object, const void* observer,
                        std::string_view keyPath, ZTMKeyValueSelector selector);
// Called with an observer: removes all its registrations.
void ztm_stopObservingAllKeyPaths(const void* observer);
