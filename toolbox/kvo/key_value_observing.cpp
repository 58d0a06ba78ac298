#include "toolbox/kvo/key_value_observing.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "platform/foundation/assertion.h"
#include "platform/foundation/json.h"

namespace {

// Changes reported with any other context belong to someone else.
const char kObservingContext = 0;

std::string pointerText(const void* pointer) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", pointer);
  return buffer;
}

std::string selectorText(ZTMKeyValueSelector selector) {
  return pointerText(reinterpret_cast<const void*>(selector));
}

std::string jsonOf(const platform::Value& value) {
  platform::Result<std::string> json = platform::toJSON(value);
  return json ? *json : std::string("(unwritable)");
}

size_t hashOf(const platform::Value& value) { return std::hash<std::string>{}(jsonOf(value)); }

}  // namespace

ZSDK_ZTMKeyValueChangeNotification::ZSDK_ZTMKeyValueChangeNotification(
    std::string keyPath, std::shared_ptr<const platform::KeyValueObservable> object,
    std::optional<platform::Value> userInfo, std::optional<platform::Dictionary> change)
    : keyPath_(std::move(keyPath)),
      object_(std::move(object)),
      userInfo_(std::move(userInfo)),
      change_(std::move(change)) {}

bool ZSDK_ZTMKeyValueChangeNotification::operator==(
    const ZSDK_ZTMKeyValueChangeNotification& other) const {
  // An absent field compares equal to nothing, not even another absent one.
  return keyPath_ == other.keyPath_ && object_ && object_ == other.object_ && userInfo_ &&
         other.userInfo_ && *userInfo_ == *other.userInfo_ && change_ && other.change_ &&
         *change_ == *other.change_;
}

size_t ZSDK_ZTMKeyValueChangeNotification::hash() const {
  return std::hash<std::string>{}(keyPath_) + std::hash<const void*>{}(object_.get()) +
         (userInfo_ ? hashOf(*userInfo_) : 0) + (change_ ? hashOf(platform::Value(*change_)) : 0);
}

std::string ZSDK_ZTMKeyValueChangeNotification::description() const {
  return "ZSDK_ZTMKeyValueChangeNotification <object = " + pointerText(object_.get()) +
         " keypath = " + keyPath_ + " userInfo = " + (userInfo_ ? jsonOf(*userInfo_) : "(null)") +
         " change = " + (change_ ? jsonOf(platform::Value(*change_)) : "(null)") + ">";
}

ZSDK_ZTMKeyValueObservingHelper::ZSDK_ZTMKeyValueObservingHelper(
    void* observer, ZTMKeyValueSelector selector, std::optional<platform::Value> userInfo,
    std::string keyPath, std::weak_ptr<platform::KeyValueObservable> target)
    : observer_(observer),
      selector_(selector),
      userInfo_(std::move(userInfo)),
      target_(std::move(target)),
      keyPath_(std::move(keyPath)) {}

std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper> ZSDK_ZTMKeyValueObservingHelper::create(
    void* observer, const std::shared_ptr<platform::KeyValueObservable>& object,
    std::string keyPath, ZTMKeyValueSelector selector, std::optional<platform::Value> userInfo,
    uint32_t options) {
  std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper> helper(new ZSDK_ZTMKeyValueObservingHelper(
      observer, selector, std::move(userInfo), keyPath, object));
  if (object) object->addObserver(helper, std::move(keyPath), options, &kObservingContext);
  return helper;
}

ZSDK_ZTMKeyValueObservingHelper::~ZSDK_ZTMKeyValueObservingHelper() { deregister(); }

void ZSDK_ZTMKeyValueObservingHelper::observeValueForKeyPath(const std::string& keyPath,
                                                             const platform::KeyValueObservable&,
                                                             const platform::Dictionary& change,
                                                             const void* context) {
  // A registration made without a selector (a reported caller error) has nothing to call.
  if (context != &kObservingContext || !selector_) return;
  std::shared_ptr<platform::KeyValueObservable> target;
  {
    platform::MutexLock lock(mutex_);
    target = target_.lock();
  }
  if (!target) return;
  selector_(observer_, ZSDK_ZTMKeyValueChangeNotification(keyPath, target, userInfo_, change));
}

void ZSDK_ZTMKeyValueObservingHelper::deregister() {
  std::shared_ptr<platform::KeyValueObservable> target;
  {
    platform::MutexLock lock(mutex_);
    target = target_.lock();
    target_.reset();
  }
  if (target) target->removeObserver(this, keyPath_, &kObservingContext);
}

std::string ZSDK_ZTMKeyValueObservingHelper::description() const {
  std::shared_ptr<platform::KeyValueObservable> target;
  {
    platform::MutexLock lock(mutex_);
    target = target_.lock();
  }
  return "ZSDK_ZTMKeyValueObservingHelper <observer = " + pointerText(observer_) +
         " keypath = " + keyPath_ + " target = " + pointerText(target.get()) +
         " selector = " + selectorText(selector_) + ">";
}

ZSDK_ZTMKeyValueObservingCenter& ZSDK_ZTMKeyValueObservingCenter::defaultCenter() {
  static ZSDK_ZTMKeyValueObservingCenter* center = new ZSDK_ZTMKeyValueObservingCenter();
  return *center;
}

std::string ZSDK_ZTMKeyValueObservingCenter::dictionaryKeyForObserver(
    const void* observer, const platform::KeyValueObservable* object, std::string_view keyPath,
    ZTMKeyValueSelector selector) {
  if (!object && keyPath.empty() && !selector) return pointerText(observer) + ":";
  return pointerText(observer) + ":" + std::string(keyPath) + ":" + selectorText(selector) + ":" +
         pointerText(object);
}

void ZSDK_ZTMKeyValueObservingCenter::addObserver(
    void* observer, const std::shared_ptr<platform::KeyValueObservable>& object,
    std::string keyPath, ZTMKeyValueSelector selector, std::optional<platform::Value> userInfo,
    uint32_t options) {
  const std::string key = dictionaryKeyForObserver(observer, object.get(), keyPath, selector);
  std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper> helper = ZSDK_ZTMKeyValueObservingHelper::create(
      observer, object, std::move(keyPath), selector, std::move(userInfo), options);
  std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper> replaced;
  {
    platform::MutexLock lock(mutex_);
    std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper>& stored = observerHelpers_[key];
    replaced = std::move(stored);
    stored = std::move(helper);
  }
  if (replaced) replaced->deregister();
}

void ZSDK_ZTMKeyValueObservingCenter::removeObserver(const void* observer,
                                                     const platform::KeyValueObservable* object,
                                                     std::string_view keyPath,
                                                     ZTMKeyValueSelector selector) {
  const std::string key = dictionaryKeyForObserver(observer, object, keyPath, selector);
  // The observer-only key matches by prefix; a full key only itself (an object's address can be
  // the prefix of another's).
  const bool allOfObserver = key.back() == ':';
  std::vector<std::shared_ptr<ZSDK_ZTMKeyValueObservingHelper>> taken;
  {
    platform::MutexLock lock(mutex_);
    for (auto it = observerHelpers_.lower_bound(key);
         it != observerHelpers_.end() &&
         (allOfObserver ? it->first.starts_with(key) : it->first == key);) {
      taken.push_back(std::move(it->second));
      it = observerHelpers_.erase(it);
    }
  }
  // Outside the lock: deregistering takes the target's lock.
  for (const auto& helper : taken) helper->deregister();
}

void ztm_addObserver(const std::shared_ptr<platform::KeyValueObservable>& object, void* observer,
                     std::string keyPath, ZTMKeyValueSelector selector,
                     std::optional<platform::Value> userInfo, uint32_t options) {
  if (!observer || keyPath.empty() || !selector) {
    platform::assertionFailure("Missing observer, keyPath, or selector");
  }
  ZSDK_ZTMKeyValueObservingCenter::defaultCenter().addObserver(
      observer, object, std::move(keyPath), selector, std::move(userInfo), options);
}

void ztm_removeObserver(const platform::KeyValueObservable& object, const void* observer,
                        std::string_view keyPath, ZTMKeyValueSelector selector) {
  if (!observer || keyPath.empty() || !selector) {
    platform::assertionFailure("Missing observer, keyPath, or selector");
  }
  ZSDK_ZTMKeyValueObservingCenter::defaultCenter().removeObserver(observer, &object, keyPath,
                                                                  selector);
}

void ztm_stopObservingAllKeyPaths(const void* observer) {
  ZSDK_ZTMKeyValueObservingCenter::defaultCenter().removeObserver(observer, nullptr, {}, nullptr);
}
