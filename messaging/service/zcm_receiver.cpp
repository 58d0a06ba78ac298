#include "messaging/service/zcm_receiver.h"

#include "messaging/base/zcm_logger.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"
#include "platform/ui/remote_notifications.h"

ZCMReceiver::ZCMReceiver(std::weak_ptr<ZCMReceiverDelegate> receiverDelegate,
                         bool useNewRemoteNotificationCallback)
    : receiverDelegate_(std::move(receiverDelegate)),
      useNewRemoteNotificationCallback_(useNewRemoteNotificationCallback) {}

std::weak_ptr<ZCMReceiverDelegate> ZCMReceiver::receiverDelegate() const {
  platform::MutexLock lock(mutex_);
  return receiverDelegate_;
}

void ZCMReceiver::setReceiverDelegate(std::weak_ptr<ZCMReceiverDelegate> delegate) {
  platform::MutexLock lock(mutex_);
  receiverDelegate_ = std::move(delegate);
}

bool ZCMReceiver::useNewRemoteNotificationCallback() const {
  platform::MutexLock lock(mutex_);
  return useNewRemoteNotificationCallback_;
}

void ZCMReceiver::setUseNewRemoteNotificationCallback(bool useNew) {
  platform::MutexLock lock(mutex_);
  useNewRemoteNotificationCallback_ = useNew;
}

void ZCMReceiver::didReceiveMessage(const platform::Dictionary& message) {
  platform::mainQueue()->async([message, useNew = useNewRemoteNotificationCallback()] {
    platform::ui::Application& application = platform::ui::Application::shared();
    const std::shared_ptr<platform::ui::ApplicationDelegate> delegate = application.delegate();
    if (useNew) {
      auto* fetch =
          delegate ? delegate->adopted<platform::ui::RemoteNotificationFetchDelegate>() : nullptr;
      if (fetch) {
        fetch->didReceiveRemoteNotification(application, message,
                                            [](platform::ui::BackgroundFetchResult) {});
        return;
      }
    } else if (auto* plain = delegate
                                 ? delegate->adopted<platform::ui::RemoteNotificationDelegate>()
                                 : nullptr) {
      plain->didReceiveRemoteNotification(application, message);
      return;
    }
    ZCM_LOG_ERROR(
        "Error none of the remote notification callbacks implemented by UIApplicationDelegate");
  });
}

void ZCMReceiver::willSendDataMessageWithID(const std::string& messageID,
                                            const std::optional<platform::Error>& error) {
  platform::mainQueue()->async([delegate = receiverDelegate(), messageID, error] {
    if (const std::shared_ptr<ZCMReceiverDelegate> strong = delegate.lock()) {
      strong->willSendDataMessageWithID(messageID, error);
    }
  });
}

void ZCMReceiver::didSendDataMessageWithID(const std::string& messageID) {
  platform::mainQueue()->async([delegate = receiverDelegate(), messageID] {
    if (const std::shared_ptr<ZCMReceiverDelegate> strong = delegate.lock()) {
      strong->didSendDataMessageWithID(messageID);
    }
  });
}

void ZCMReceiver::didDeleteMessagesOnServer() {
  platform::mainQueue()->async([delegate = receiverDelegate()] {
    if (const std::shared_ptr<ZCMReceiverDelegate> strong = delegate.lock()) {
      strong->didDeleteMessagesOnServer();
    }
  });
}
