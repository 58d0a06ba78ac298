#include "messaging/service/zcm_delayed_message_queue.h"

#include "messaging/base/zcm_environment.h"
#include "platform/dispatch/queue.h"

std::shared_ptr<ZCMDelayedMessageQueue> ZCMDelayedMessageQueue::make(
    std::weak_ptr<ZCMRmqManager> rmqScanner, SendDelayedMessagesHandler handler) {
  return std::shared_ptr<ZCMDelayedMessageQueue>(
      new ZCMDelayedMessageQueue(std::move(rmqScanner), std::move(handler)));
}

ZCMDelayedMessageQueue::ZCMDelayedMessageQueue(std::weak_ptr<ZCMRmqManager> rmqScanner,
                                               SendDelayedMessagesHandler handler)
    : rmqScanner_(std::move(rmqScanner)), sendDelayedMessagesHandler_(std::move(handler)) {
  messages_.reserve(kMaxInMemoryMessages);
}

ZCMDelayedMessageQueue::~ZCMDelayedMessageQueue() { timeout_.cancel(); }

bool ZCMDelayedMessageQueue::queueMessage(const DudevDataMessageStanza& message) {
  if (messages_.size() >= kMaxInMemoryMessages) return false;
  if (message.ttl() != 0) {
    ++persistedMessageCount_;  // it waits in the store
  } else {
    messages_.push_back(message);
  }
  const int64_t sendTime = calculateTimeoutInMillisWithDelayInSeconds(message.max_delay());
  if (!isTimeoutScheduled() || sendTime < scheduledTimeoutMilliseconds_) {
    scheduleTimeoutInMillis(sendTime);
  }
  return true;
}

int64_t ZCMDelayedMessageQueue::calculateTimeoutInMillisWithDelayInSeconds(int32_t delay) {
  return int64_t{delay} * 1000 + ZCMCurrentTimestampInMilliseconds();
}

void ZCMDelayedMessageQueue::scheduleTimeoutInMillis(int64_t timeMillis) {
  cancelTimeout();
  scheduledTimeoutMilliseconds_ = timeMillis;
  const double delay =
      static_cast<double>(timeMillis - ZCMCurrentTimestampInMilliseconds()) / 1000.0;
  timeout_ = platform::dispatchAfter(platform::seconds(delay), platform::mainQueue(),
                                     [weak = weak_from_this()] {
                                       if (auto self = weak.lock()) self->sendMessages();
                                     });
}

void ZCMDelayedMessageQueue::cancelTimeout() {
  if (!isTimeoutScheduled()) return;
  timeout_.cancel();
  scheduledTimeoutMilliseconds_ = -1;
}

void ZCMDelayedMessageQueue::sendMessages() {
  if (sendDelayedMessagesHandler_) sendDelayedMessagesHandler_(removeDelayedMessages());
}

int32_t ZCMDelayedMessageQueue::messageCount() const {
  return static_cast<int32_t>(messages_.size()) + persistedMessageCount_;
}

std::vector<DudevDataMessageStanza> ZCMDelayedMessageQueue::removeDelayedMessages() {
  cancelTimeout();
  if (messageCount() == 0) return {};
  std::vector<DudevDataMessageStanza> delayed;
  delayed.swap(messages_);
  if (persistedMessageCount_ >= 1) {
    if (const std::shared_ptr<ZCMRmqManager> store = rmqScanner_.lock()) {
      store->scanWithRmqMessageHandler(nullptr, [&](int64_t, const DudevDataMessageStanza& stanza) {
        if (stanza.has_max_delay() && stanza.sent() >= lastDBScanTimestampSeconds_) {
          delayed.push_back(stanza);
        }
      });
    }
    lastDBScanTimestampSeconds_ = ZCMCurrentTimestampInSeconds();
    persistedMessageCount_ = 0;
  }
  return delayed;
}
