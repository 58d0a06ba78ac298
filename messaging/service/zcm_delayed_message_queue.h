#pragma once
// Upstream messages that may wait (a "delay" in seconds) before they go out in one batch: those
// with a time to live of 0 wait here in memory (at most 10), the others wait in the store and are
// only counted. A timer on the main queue releases the batch at the earliest send time. Main
// thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/wire/dudev_core.pb.h"
#include "platform/dispatch/timer.h"

class ZCMDelayedMessageQueue : public std::enable_shared_from_this<ZCMDelayedMessageQueue> {
 public:
  using SendDelayedMessagesHandler = std::function<void(std::vector<DudevDataMessageStanza>)>;
  // In-memory messages the queue takes.
  static constexpr size_t kMaxInMemoryMessages = 10;

  static std::shared_ptr<ZCMDelayedMessageQueue> make(std::weak_ptr<ZCMRmqManager> rmqScanner,
                                                      SendDelayedMessagesHandler handler);
  ~ZCMDelayedMessageQueue();

  // False when 10 in-memory messages already wait; otherwise the message waits and the timer is
  // moved to its send time when that comes earlier.
  bool queueMessage(const DudevDataMessageStanza& message);
  // Everything waiting, taken out: the in-memory messages, then the stored delayed ones sent
  // since the last scan. Cancels the timer.
  std::vector<DudevDataMessageStanza> removeDelayedMessages();
  // Hands what waits to the handler.
  void sendMessages();
  int32_t messageCount() const;
  bool isTimeoutScheduled() const { return scheduledTimeoutMilliseconds_ > 0; }

 private:
  ZCMDelayedMessageQueue(std::weak_ptr<ZCMRmqManager> rmqScanner,
                         SendDelayedMessagesHandler handler);
  static int64_t calculateTimeoutInMillisWithDelayInSeconds(int32_t delay);
  void scheduleTimeoutInMillis(int64_t timeMillis);
  void cancelTimeout();

  std::weak_ptr<ZCMRmqManager> rmqScanner_;
  SendDelayedMessagesHandler sendDelayedMessagesHandler_;
  std::vector<DudevDataMessageStanza> messages_;
  int32_t persistedMessageCount_ = 0;
  int64_t scheduledTimeoutMilliseconds_ = -1;
  int64_t lastDBScanTimestampSeconds_ = 0;
  platform::Timer timeout_;
};
