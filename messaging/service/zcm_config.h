#pragma once
// What a caller sets before the messaging service starts: the app's receiver delegate, the
// messaging log level and which app-delegate operation takes downstream messages. Made only
// through defaultConfig(). A plain value.
#include <cstdint>
#include <memory>

#include "messaging/service/zcm_receiver.h"

class ZCMConfig {
 public:
  // Log level 2, the plain remote-notification operation, no receiver delegate.
  static ZCMConfig defaultConfig() { return ZCMConfig(); }

  std::weak_ptr<ZCMReceiverDelegate> receiverDelegate() const { return receiverDelegate_; }
  void setReceiverDelegate(std::weak_ptr<ZCMReceiverDelegate> delegate) {
    receiverDelegate_ = std::move(delegate);
  }
  int8_t logLevel() const { return logLevel_; }
  void setLogLevel(int8_t level) { logLevel_ = level; }
  bool useNewRemoteNotificationCallback() const { return useNewRemoteNotificationCallback_; }
  void setUseNewRemoteNotificationCallback(bool useNew) {
    useNewRemoteNotificationCallback_ = useNew;
  }

 private:
  ZCMConfig() = default;
  std::weak_ptr<ZCMReceiverDelegate> receiverDelegate_;
  int8_t logLevel_ = 2;
  bool useNewRemoteNotificationCallback_ = false;
};
