#include "platform/foundation/key_value_observing.h"

#include <algorithm>

namespace platform {

namespace {

Dictionary changeOf(uint32_t options, const Value& oldValue, const Value* newValue, bool prior) {
  Dictionary change{{kKeyValueChangeKindKey, kKeyValueChangeSetting}};
  if (prior) change.set(kKeyValueChangeNotificationIsPriorKey, true);
  if ((options & kKeyValueObservingOptionOld) && !oldValue.isNull()) {
    change.set(kKeyValueChangeOldKey, oldValue);
  }
  if ((options & kKeyValueObservingOptionNew) && newValue && !newValue->isNull()) {
    change.set(kKeyValueChangeNewKey, *newValue);
  }
  return change;
}

}  // namespace

void KeyValueObservable::addObserver(const std::shared_ptr<KeyValueObserver>& observer,
                                     std::string keyPath, uint32_t options, const void* context) {
  if (!observer) return;
  Registration registration{observer, observer.get(), keyPath, options, context};
  Value current;
  {
    MutexLock lock(mutex_);
    registrations_.push_back(registration);
    if (const Value* value = values_.find(keyPath)) current = *value;
  }
  if (options & kKeyValueObservingOptionInitial) {
    observer->observeValueForKeyPath(keyPath, *this, changeOf(options, Value(), &current, false),
                                     context);
  }
}

void KeyValueObservable::removeObserver(const KeyValueObserver* observer, std::string_view keyPath,
                                        const void* context) {
  MutexLock lock(mutex_);
  std::erase_if(registrations_, [&](const Registration& r) {
    return r.identity == observer && r.keyPath == keyPath && r.context == context;
  });
}

Value KeyValueObservable::valueForKey(std::string_view key) const {
  MutexLock lock(mutex_);
  const Value* value = values_.find(key);
  return value ? *value : Value();
}

std::vector<KeyValueObservable::Registration> KeyValueObservable::registrationsFor(
    std::string_view keyPath) const {
  MutexLock lock(mutex_);
  std::vector<Registration> found;
  for (const Registration& r : registrations_) {
    if (r.keyPath == keyPath) found.push_back(r);
  }
  return found;
}

void KeyValueObservable::setValueForKey(std::string key, Value value) {
  const std::vector<Registration> registrations = registrationsFor(key);
  const Value oldValue = valueForKey(key);
  for (const Registration& r : registrations) {
    if (!(r.options & kKeyValueObservingOptionPrior)) continue;
    if (std::shared_ptr<KeyValueObserver> observer = r.observer.lock()) {
      observer->observeValueForKeyPath(key, *this, changeOf(r.options, oldValue, nullptr, true),
                                       r.context);
    }
  }
  {
    MutexLock lock(mutex_);
    values_.set(key, value);
  }
  for (const Registration& r : registrations) {
    if (std::shared_ptr<KeyValueObserver> observer = r.observer.lock()) {
      observer->observeValueForKeyPath(key, *this, changeOf(r.options, oldValue, &value, false),
                                       r.context);
    }
  }
}

}  // namespace platform
