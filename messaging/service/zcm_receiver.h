#pragma once
// The messaging client's exit towards the app: downstream messages go to the app delegate's
// remote-notification operation, upstream send results to the app's receiver delegate, always
// later on the main queue and in the order they were handed over. Thread-safe: callable from any
// thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

// What the app hears of its upstream messages. Every operation is optional: the bodies here do
// nothing.
class ZCMReceiverDelegate {
 public:
  virtual ~ZCMReceiverDelegate() = default;
  // The message was stored to be sent (no error), or could not be sent (the error).
  virtual void willSendDataMessageWithID(const std::string& messageID,
                                         const std::optional<platform::Error>& error) {
    (void)messageID, (void)error;
  }
  // The server has the message.
  virtual void didSendDataMessageWithID(const std::string& messageID) { (void)messageID; }
  // The server dropped messages it held for the device.
  virtual void didDeleteMessagesOnServer() {}
};

// Where the data-message layer hands what arrives and what became of what it sent.
class ZCMDataMessageManagerDelegate {
 public:
  virtual ~ZCMDataMessageManagerDelegate() = default;
  virtual void didReceiveMessage(const platform::Dictionary& message) = 0;
  virtual void willSendDataMessageWithID(const std::string& messageID,
                                         const std::optional<platform::Error>& error) = 0;
  virtual void didSendDataMessageWithID(const std::string& messageID) = 0;
  virtual void didDeleteMessagesOnServer() = 0;
};

class ZCMReceiver final : public ZCMDataMessageManagerDelegate {
 public:
  ZCMReceiver(std::weak_ptr<ZCMReceiverDelegate> receiverDelegate,
              bool useNewRemoteNotificationCallback);

  std::weak_ptr<ZCMReceiverDelegate> receiverDelegate() const;
  void setReceiverDelegate(std::weak_ptr<ZCMReceiverDelegate> delegate);
  // Which of the app delegate's operations takes downstream messages: the one with a fetch
  // completion handler (true) or the plain one (false). The other is never tried.
  bool useNewRemoteNotificationCallback() const;
  void setUseNewRemoteNotificationCallback(bool useNew);

  void didReceiveMessage(const platform::Dictionary& message) override;
  void willSendDataMessageWithID(const std::string& messageID,
                                 const std::optional<platform::Error>& error) override;
  void didSendDataMessageWithID(const std::string& messageID) override;
  void didDeleteMessagesOnServer() override;

 private:
  mutable platform::Mutex mutex_;
  std::weak_ptr<ZCMReceiverDelegate> receiverDelegate_ VKR_GUARDED_BY(mutex_);
  bool useNewRemoteNotificationCallback_ VKR_GUARDED_BY(mutex_);
};
