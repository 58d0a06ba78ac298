#pragma once

#include <memory>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

class ZADStatisticDictionary;

// Told when a statistics dictionary changed, on the queue it names (not told without one).
class ZADStatisticDictionaryDelegate {
 public:
  virtual ~ZADStatisticDictionaryDelegate() = default;
  virtual platform::QueuePtr notificationQueue() = 0;
  virtual void didUpdateStatisticDictionary(
      const std::shared_ptr<ZADStatisticDictionary>& dictionary) = 0;
};

// Counters, time stamps and lists the engine reports with its requests and pings. Thread-safe:
// the values live on the dictionary's serial queue; changes are queued, reads wait, so a read
// after a change from the same thread sees it. Changes that ask for it tell the delegate once
// for every burst: requests made while a notification is queued fold into it.
class ZADStatisticDictionary : public std::enable_shared_from_this<ZADStatisticDictionary> {
 public:
  static std::shared_ptr<ZADStatisticDictionary> make(
      std::weak_ptr<ZADStatisticDictionaryDelegate> delegate = {},
      std::string queueLabel = "com.zorova.zizov.statistics");
  ZADStatisticDictionary(const ZADStatisticDictionary&) = delete;
  ZADStatisticDictionary& operator=(const ZADStatisticDictionary&) = delete;

  // A null value removes the key.
  void setObject(platform::Value object, std::string key, bool shouldNotifyDelegate = false);
  platform::Value objectForKey(const std::string& key) const;
  // Counters are numbers; a key holding anything else keeps it and the change is dropped.
  void addDecimalNumber(platform::Value number, std::string key, bool shouldNotifyDelegate);
  void incrementNumberForKey(std::string key, bool shouldNotifyDelegate);
  void decrementNumberForKey(std::string key, bool shouldNotifyDelegate);
  // Lists are arrays; a key holding anything else keeps it and the change is dropped.
  void addObjectToArray(platform::Value object, std::string key, bool shouldNotifyDelegate);
  platform::Dictionary dictionary() const;

  // Seals the dictionary: later changes are ignored, a queued notification is delivered, and the
  // delegate is let go.
  void didFinishModifying();

  void setDelegate(std::weak_ptr<ZADStatisticDictionaryDelegate> delegate);
  std::shared_ptr<ZADStatisticDictionaryDelegate> delegate() const;
  // "<ZADStatisticDictionary: address>\nqueue: label\nstatistics: pretty JSON"
  std::string description() const;

 private:
  explicit ZADStatisticDictionary(std::string queueLabel);
  // Runs the change on the queue unless sealed, then notifies when asked.
  void change(std::function<void(platform::Dictionary&)> apply, bool shouldNotifyDelegate);
  void enqueueNotification();

  const platform::QueuePtr serialQueue_;
  // On serialQueue_ only.
  platform::Dictionary statistics_;
  bool allowDictionaryModification_ = true;
  bool hasEnqueuedNotificationBlock_ = false;

  mutable platform::Mutex delegateLock_;
  std::weak_ptr<ZADStatisticDictionaryDelegate> delegate_ VKR_GUARDED_BY(delegateLock_);
};
