#pragma once
// Turns the connection's data messages into app messages and app messages into outgoing ones.
// Downstream: messages for the client itself are dropped, those of the identity service are
// posted as "com.zorova.zcm/notification/iid", the rest are flattened into a dictionary, sync
// messages already seen through the push service are dropped, and what remains goes to the
// delegate. Upstream: time to live, delay and size rules, storing what must survive, batching
// delayed messages, and sending again what the store holds after the server acknowledged a batch.
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/connection/zcm_connection.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/rmq/zcm_sync_message_manager.h"
#include "messaging/service/zcm_delayed_message_queue.h"
#include "messaging/service/zcm_receiver.h"
#include "messaging/wire/dudev_core.pb.h"

class ZCMClient;

inline constexpr const char* kZCMIIDNotification = "com.zorova.zcm/notification/iid";
// The "from" of messages the identity service sends the device.
inline constexpr const char* kZCMInstanceIDMessageOrigin = "instance-id.zorova.com";

// Keys of the upstream message the service builds.
inline constexpr const char* kZCMSendToKey = "zorova.to";
inline constexpr const char* kZCMSendMessageIDKey = "zorova.msg_id";
inline constexpr const char* kZCMSendTimeToLiveKey = "zorova.ttl";
inline constexpr const char* kZCMSendDelayKey = "zorova.delay";
inline constexpr const char* kZCMSendDataKey = "zorova.data";

class ZCMDataMessageManager final : public ZCMDataMessageResender,
                                    public std::enable_shared_from_this<ZCMDataMessageManager> {
 public:
  // The default and largest time to live, in seconds.
  static constexpr int32_t kDefaultTimeToLive = 86400;
  static constexpr int32_t kMaxDelaySeconds = 3600;
  static constexpr int32_t kMaxAppDataSize = 4096;
  // 1: connect for messages with a time to live of 0 only; 2: for every message; else never.
  static constexpr int8_t kUpstreamForceReconnect = 2;

  ZCMDataMessageManager(std::weak_ptr<ZCMDataMessageManagerDelegate> delegate,
                        std::weak_ptr<ZCMClient> client, std::weak_ptr<ZCMRmqManager> rmq2Manager,
                        std::weak_ptr<ZCMSyncMessageManager> syncMessageManager);

  // A new delayed queue over the store (what waited in the old one's memory is dropped).
  void refreshDelayedMessages();
  // The credentials of the logged-in connection; upstream sends need them.
  void setDeviceAuthID(std::string deviceAuthID, std::string secretToken);

  // Downstream. The app message of the stanza, or nothing for the client's and the identity
  // service's own messages.
  std::optional<platform::Dictionary> processPacket(const DudevDataMessageStanza& stanza);
  static platform::Dictionary parseDataMessage(const DudevDataMessageStanza& stanza);
  void didReceiveParsedMessage(const platform::Dictionary& message);
  // Without the top-level keys that start with "zcm.".
  static platform::Dictionary filterInternalZCMKeysFromMessage(const platform::Dictionary& message);

  // Upstream: the service's message dictionary ("zorova.delay" is taken out of it). Every
  // failure reaches the delegate as willSendDataMessageWithID with its code.
  void sendDataMessageStanza(platform::Dictionary& message);
  // The server has the stanza.
  void didSendDataMessageStanza(const DudevDataMessageStanza& stanza);
  // After a selective acknowledgement: sends again every stored message that may still go, and
  // removes the expired ones.
  void resendMessagesWithConnection(ZCMConnection& connection) override;

  // Adds the entries as app data (text, and numbers as text; "rawData" bytes as the raw data)
  // and answers their size: key and value lengths added up.
  static int32_t addData(const platform::Dictionary& data, DudevDataMessageStanza& stanza);
  // Whether the stanza may still be sent; an expired one is reported with 1001.
  bool handleExpirationForDataMessage(const DudevDataMessageStanza& stanza);

 private:
  static int32_t delayForMessage(platform::Dictionary& message);
  bool delayMessage(const DudevDataMessageStanza& stanza);
  bool tryToSendDataMessageStanza(const DudevDataMessageStanza& stanza);
  void sendDelayedMessages(std::vector<DudevDataMessageStanza> stanzas);
  void willSendDataMessageSuccess(const std::string& messageID);
  void willSendDataMessageFail(const std::string& messageID, int64_t code);

  std::weak_ptr<ZCMDataMessageManagerDelegate> delegate_;
  std::weak_ptr<ZCMClient> client_;
  std::weak_ptr<ZCMRmqManager> rmq2Manager_;
  std::weak_ptr<ZCMSyncMessageManager> syncMessageManager_;
  std::shared_ptr<ZCMDelayedMessageQueue> delayedMessagesQueue_;
  std::string deviceAuthID_;
  std::string secretToken_;
};
