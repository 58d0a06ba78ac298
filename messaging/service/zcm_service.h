#pragma once
// The cloud messaging client's facade, one per process. Starting it wires up the logger's level,
// the receiver towards the app, the reachability monitor, the message store ("rmq2"), the
// connection client, the sync-message de-duplication and the data-message layer; it does not
// connect: connectWithHandler() does. A repeated start reuses what the earlier one made (taking
// the new config's receiver settings and log level) and observes the network once; after a
// teardown a start makes the torn-down parts anew. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/service/zcm_client.h"
#include "messaging/service/zcm_config.h"
#include "messaging/service/zcm_data_message_manager.h"
#include "messaging/service/zcm_receiver.h"
#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/value.h"
#include "toolbox/logger/log_roles.h"

class ZIPReachability;
class ZCMRmqManager;
class ZCMSyncMessageManager;

// The user-defaults key of the library version the app last started.
inline constexpr const char* kZCMVersionDefaultsKey = "ZCM-version";

class ZCMService {
 public:
  // Seconds after a start before expired sync-message records are purged.
  static constexpr double kSyncMessagePurgeDelay = 5;
  // The debug events kept: an add that reaches this many drops the oldest.
  static constexpr size_t kDebugEventsCapacity = 200;

  static ZCMService& sharedInstance();
  // Tears the shared service down and makes a fresh one (tests).
  static void resetSharedInstanceForTesting();
  ~ZCMService();

  void startWithConfig(const ZCMConfig& config);
  // Drops the client, the store, the sync and data-message layers; the receiver, the
  // reachability monitor and the network observation stay.
  void teardown();
  bool isClientSetup() const { return isClientSetup_; }

  // Connects and stays connected (see ZCMClient::connectWithHandler); without a start the
  // handler gets error 3004 later on the main queue.
  void connectWithHandler(ZCMClient::ConnectHandler handler);
  void disconnect();

  // Upstream messages: time to live 86400 s and no delay, the given time to live, a batched
  // message (no time to live given, so the default, and a delay in seconds), or both. The result
  // reaches the receiver delegate. Without a start nothing is sent.
  void sendMessage(const platform::Dictionary& message, const std::string& to,
                   const std::optional<std::string>& msgId);
  void sendMessage(const platform::Dictionary& message, const std::string& to, int64_t ttl,
                   const std::optional<std::string>& msgId);
  void sendBatched(const platform::Dictionary& message, const std::string& to,
                   const std::optional<std::string>& msgId, int32_t delay);
  void sendMessage(const platform::Dictionary& message, const std::string& to,
                   const std::optional<std::string>& msgId, int64_t ttl, int32_t delay);
  // "zorova.to", "zorova.msg_id" ("" without an id), "zorova.ttl", "zorova.delay" and
  // "zorova.data" (the message).
  static platform::Dictionary createZCMMessageWithMessage(const platform::Dictionary& message,
                                                          const std::string& to,
                                                          const std::optional<std::string>& msgId,
                                                          int64_t ttl, int32_t delay);

  // A message that came through the platform push service: its "zcm.message_id" is stored as
  // received; a silent sync message answers whether it is a repeat (which the app drops).
  bool appDidReceiveMessage(const platform::Dictionary& message);
  // "aps" is a dictionary whose "content-available" is true.
  static bool isAPNSSyncMessage(const platform::Dictionary& message);

  bool isNetworkAvailable() const;
  // 0 no network, 2 cellular, 1 any other.
  int64_t networkType() const;

  // "<ms since 1970>:<network type>:<connection active 0/1>:<event>", newest first.
  static void addDebugEvent(const std::string& event);
  static void dumpAllEvents();
  const std::vector<std::string>& debugEvents() const { return debugEvents_; }

  // The logger level of a messaging log level: 0-3 (as an unsigned byte) map to 1-4, anything
  // else to 3.
  static ZTMLoggerLevel ztmLoggerLevelForZCMLogLevel(int8_t logLevel);

  const std::shared_ptr<ZCMClient>& client() const { return client_; }
  const std::shared_ptr<ZCMReceiver>& receiver() const { return receiver_; }
  const std::shared_ptr<ZCMRmqManager>& rmq2Manager() const { return rmq2Manager_; }
  const std::shared_ptr<ZCMDataMessageManager>& dataMessageManager() const {
    return dataMessageManager_;
  }
  const std::shared_ptr<ZCMSyncMessageManager>& syncMessageManager() const {
    return syncMessageManager_;
  }

 private:
  ZCMService() { debugEvents_.reserve(kDebugEventsCapacity); }
  void saveLibraryVersion();
  void setupReceiverWithConfig(const ZCMConfig& config);
  void setupReachability();
  void setupRmqManager();
  void setupClient();
  void setupSyncMessageManager();
  void setupDataMessageManager();
  void networkStatusChanged();

  bool isClientSetup_ = false;
  std::shared_ptr<ZCMReceiver> receiver_;
  std::shared_ptr<ZIPReachability> reachability_;
  std::shared_ptr<ZCMRmqManager> rmq2Manager_;
  std::shared_ptr<ZCMClient> client_;
  std::shared_ptr<ZCMSyncMessageManager> syncMessageManager_;
  std::shared_ptr<ZCMDataMessageManager> dataMessageManager_;
  std::vector<std::string> debugEvents_;
  platform::NotificationCenter::Observation networkObservation_;
  platform::Timer syncPurge_;
};
