#include "ads/foundation/statistic_dictionary.h"

#include "ads/foundation/json_additions.h"
#include "platform/foundation/log.h"

std::shared_ptr<ZADStatisticDictionary> ZADStatisticDictionary::make(
    std::weak_ptr<ZADStatisticDictionaryDelegate> delegate, std::string queueLabel) {
  std::shared_ptr<ZADStatisticDictionary> dictionary(
      new ZADStatisticDictionary(std::move(queueLabel)));
  dictionary->setDelegate(std::move(delegate));
  return dictionary;
}

ZADStatisticDictionary::ZADStatisticDictionary(std::string queueLabel)
    : serialQueue_(platform::makeSerialQueue(std::move(queueLabel))) {}

void ZADStatisticDictionary::change(std::function<void(platform::Dictionary&)> apply,
                                    bool shouldNotifyDelegate) {
  serialQueue_->async([self = shared_from_this(), apply = std::move(apply), shouldNotifyDelegate] {
    if (!self->allowDictionaryModification_) return;
    apply(self->statistics_);
    if (shouldNotifyDelegate && !self->hasEnqueuedNotificationBlock_) self->enqueueNotification();
  });
}

void ZADStatisticDictionary::enqueueNotification() {
  hasEnqueuedNotificationBlock_ = true;
  serialQueue_->async([self = shared_from_this()] {
    self->hasEnqueuedNotificationBlock_ = false;
    auto delegate = self->delegate();
    if (!delegate) return;
    platform::QueuePtr queue = delegate->notificationQueue();
    if (!queue) return;
    queue->async([self] {
      if (auto delegate = self->delegate()) delegate->didUpdateStatisticDictionary(self);
    });
  });
}

void ZADStatisticDictionary::setObject(platform::Value object, std::string key,
                                       bool shouldNotifyDelegate) {
  change(
      [object = std::move(object), key = std::move(key)](platform::Dictionary& statistics) {
        if (object.isNull()) {
          statistics.remove(key);
        } else {
          statistics.set(key, object);
        }
      },
      shouldNotifyDelegate);
}

platform::Value ZADStatisticDictionary::objectForKey(const std::string& key) const {
  platform::Value object;
  serialQueue_->sync([&] {
    if (const platform::Value* found = statistics_.find(key)) object = *found;
  });
  return object;
}

void ZADStatisticDictionary::addDecimalNumber(platform::Value number, std::string key,
                                              bool shouldNotifyDelegate) {
  if (!number.isInteger() && !number.isReal()) return;
  change(
      [number = std::move(number), key = std::move(key)](platform::Dictionary& statistics) {
        const platform::Value* current = statistics.find(key);
        if (current && !current->isInteger() && !current->isReal()) return;
        const platform::Value base = current ? *current : platform::Value(0);
        if (base.isInteger() && number.isInteger()) {
          statistics.set(key, base.intOr(0) + number.intOr(0));
        } else {
          statistics.set(key, base.doubleOr(0) + number.doubleOr(0));
        }
      },
      shouldNotifyDelegate);
}

void ZADStatisticDictionary::incrementNumberForKey(std::string key, bool shouldNotifyDelegate) {
  addDecimalNumber(1, std::move(key), shouldNotifyDelegate);
}

void ZADStatisticDictionary::decrementNumberForKey(std::string key, bool shouldNotifyDelegate) {
  addDecimalNumber(-1, std::move(key), shouldNotifyDelegate);
}

void ZADStatisticDictionary::addObjectToArray(platform::Value object, std::string key,
                                              bool shouldNotifyDelegate) {
  change(
      [object = std::move(object), key = std::move(key)](platform::Dictionary& statistics) {
        platform::Value* current = statistics.find(key);
        if (!current) {
          statistics.set(key, platform::Value::array({object}));
        } else if (current->isArray()) {
          current->append(object);
        }
      },
      shouldNotifyDelegate);
}

platform::Dictionary ZADStatisticDictionary::dictionary() const {
  platform::Dictionary copy;
  serialQueue_->sync([&] { copy = statistics_; });
  return copy;
}

void ZADStatisticDictionary::didFinishModifying() {
  serialQueue_->sync([&] { allowDictionaryModification_ = false; });
  platform::QueuePtr notificationQueue;
  serialQueue_->sync([&] {
    if (auto delegate = this->delegate()) notificationQueue = delegate->notificationQueue();
  });
  // A notification already handed to the delegate's queue is delivered before letting go.
  if (notificationQueue) notificationQueue->sync([] {});
  setDelegate({});
}

void ZADStatisticDictionary::setDelegate(std::weak_ptr<ZADStatisticDictionaryDelegate> delegate) {
  platform::MutexLock lock(delegateLock_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<ZADStatisticDictionaryDelegate> ZADStatisticDictionary::delegate() const {
  platform::MutexLock lock(delegateLock_);
  return delegate_.lock();
}

std::string ZADStatisticDictionary::description() const {
  const platform::Dictionary statistics = dictionary();
  platform::Result<std::string> json = zad_JSONStringPretty(statistics, true);
  const std::string text = json.ok() ? *json : platform::describe(statistics);
  return platform::format("<ZADStatisticDictionary: %p>\nqueue: %s\nstatistics: %s",
                          static_cast<const void*>(this), serialQueue_->label().c_str(),
                          text.c_str());
}
