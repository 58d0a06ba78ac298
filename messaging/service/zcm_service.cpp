#include "messaging/service/zcm_service.h"

#include <mutex>

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/rmq/zcm_sync_message_manager.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/storage/user_defaults.h"
#include "toolbox/logger/log_filters.h"
#include "toolbox/reachability/zip_reachability.h"

namespace {

ZCMService*& sharedService() {
  static ZCMService* service = nullptr;
  return service;
}

}  // namespace

ZCMService& ZCMService::sharedInstance() {
  static std::once_flag once;
  std::call_once(once, [] { sharedService() = new ZCMService(); });
  return *sharedService();
}

void ZCMService::resetSharedInstanceForTesting() {
  ZCMService& current = sharedInstance();
  current.teardown();
  delete &current;
  sharedService() = new ZCMService();
}

ZCMService::~ZCMService() {
  syncPurge_.cancel();
  networkObservation_.reset();
  if (reachability_) reachability_->stop();
}

ZTMLoggerLevel ZCMService::ztmLoggerLevelForZCMLogLevel(int8_t logLevel) {
  const auto level = static_cast<uint8_t>(logLevel);
  return level <= 3 ? static_cast<ZTMLoggerLevel>(level + 1) : kZTMLoggerLevelError;
}

void ZCMService::startWithConfig(const ZCMConfig& config) {
  VKR_ASSERT_MAIN_THREAD();
  const ZTMLoggerLevel level = ztmLoggerLevelForZCMLogLevel(config.logLevel());
  saveLibraryVersion();
  ZCMLogger().setFilter(ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(level));
  // What an earlier start made is reused; only what is missing (never made, or torn down) is
  // made now.
  setupReceiverWithConfig(config);
  setupReachability();
  setupRmqManager();
  setupClient();
  setupSyncMessageManager();
  setupDataMessageManager();
  isClientSetup_ = true;
  if (!networkObservation_.active()) {
    networkObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        kZIPReachabilityChangedNotification, nullptr,
        [this](const platform::Notification&) { networkStatusChanged(); }, platform::mainQueue());
  }
}

void ZCMService::saveLibraryVersion() {
  const std::string& version = ZCMCurrentLibraryVersion();
  if (!platform::UserDefaults::standard()->setObject(version, kZCMVersionDefaultsKey).ok()) {
    ZCM_LOG_ERROR("Failed to save ZCM library version");
  }
  ZCM_LOG_INFO("ZCM library version %s", version.c_str());
}

void ZCMService::setupReceiverWithConfig(const ZCMConfig& config) {
  if (receiver_) {
    receiver_->setReceiverDelegate(config.receiverDelegate());
    receiver_->setUseNewRemoteNotificationCallback(config.useNewRemoteNotificationCallback());
    return;
  }
  receiver_ = std::make_shared<ZCMReceiver>(config.receiverDelegate(),
                                            config.useNewRemoteNotificationCallback());
}

void ZCMService::setupReachability() {
  if (reachability_) return;
  reachability_ = std::make_shared<ZIPReachability>();
  reachability_->startWithCompletionHandler([] {});
  // The login tells the server the network type.
  ZCMConnection::setNetworkTypeProvider([] { return sharedInstance().networkType(); });
}

void ZCMService::setupRmqManager() {
  if (rmq2Manager_) return;
  rmq2Manager_ = std::make_shared<ZCMRmqManager>("rmq2");
  rmq2Manager_->loadRmqId();
}

void ZCMService::setupClient() {
  if (client_) return;
  client_ = ZCMClient::make(reachability_, rmq2Manager_);
}

void ZCMService::setupSyncMessageManager() {
  if (syncMessageManager_) return;
  syncMessageManager_ = std::make_shared<ZCMSyncMessageManager>(rmq2Manager_);
  syncPurge_.cancel();
  syncPurge_ = platform::dispatchAfter(platform::seconds(kSyncMessagePurgeDelay),
                                       platform::mainQueue(), [this] {
                                         if (syncMessageManager_) {
                                           syncMessageManager_->removeExpiredSyncMessages();
                                         }
                                       });
}

void ZCMService::setupDataMessageManager() {
  if (dataMessageManager_) return;
  dataMessageManager_ = std::make_shared<ZCMDataMessageManager>(receiver_, client_, rmq2Manager_,
                                                                syncMessageManager_);
  dataMessageManager_->refreshDelayedMessages();
  client_->setDataMessageManager(dataMessageManager_);
}

void ZCMService::teardown() {
  VKR_ASSERT_MAIN_THREAD();
  if (client_) client_->teardown();
  syncPurge_.cancel();
  syncMessageManager_.reset();
  rmq2Manager_.reset();
  dataMessageManager_.reset();
  client_.reset();
  isClientSetup_ = false;
}

void ZCMService::connectWithHandler(ZCMClient::ConnectHandler handler) {
  VKR_ASSERT_MAIN_THREAD();
  if (client_) return client_->connectWithHandler(std::move(handler));
  if (handler) {
    platform::mainQueue()->async([handler = std::move(handler)] {
      handler(errorWithZcmErrorCode(kZCMErrorCodePubSubClientNotSetup));
    });
  }
}

void ZCMService::disconnect() {
  VKR_ASSERT_MAIN_THREAD();
  if (client_ && client_->isConnected()) client_->disconnect();
}

void ZCMService::sendMessage(const platform::Dictionary& message, const std::string& to,
                             const std::optional<std::string>& msgId) {
  sendMessage(message, to, msgId, ZCMDataMessageManager::kDefaultTimeToLive, -1);
}

void ZCMService::sendMessage(const platform::Dictionary& message, const std::string& to,
                             int64_t ttl, const std::optional<std::string>& msgId) {
  sendMessage(message, to, msgId, ttl, -1);
}

void ZCMService::sendBatched(const platform::Dictionary& message, const std::string& to,
                             const std::optional<std::string>& msgId, int32_t delay) {
  sendMessage(message, to, msgId, -1, delay);
}

void ZCMService::sendMessage(const platform::Dictionary& message, const std::string& to,
                             const std::optional<std::string>& msgId, int64_t ttl, int32_t delay) {
  VKR_ASSERT_MAIN_THREAD();
  platform::Dictionary upstream = createZCMMessageWithMessage(message, to, msgId, ttl, delay);
  ZCM_LOG_INFO("Sending message: %s with id: %s",
               platform::describe(platform::Value(message)).c_str(), msgId.value_or("").c_str());
  if (dataMessageManager_) dataMessageManager_->sendDataMessageStanza(upstream);
}

platform::Dictionary ZCMService::createZCMMessageWithMessage(
    const platform::Dictionary& message, const std::string& to,
    const std::optional<std::string>& msgId, int64_t ttl, int32_t delay) {
  return platform::Dictionary{{kZCMSendToKey, platform::Value(to)},
                              {kZCMSendMessageIDKey, platform::Value(msgId.value_or(""))},
                              {kZCMSendTimeToLiveKey, platform::Value(ttl)},
                              {kZCMSendDelayKey, platform::Value(delay)},
                              {kZCMSendDataKey, platform::Value(message)}};
}

bool ZCMService::appDidReceiveMessage(const platform::Dictionary& message) {
  VKR_ASSERT_MAIN_THREAD();
  const platform::Value* id = message.find(kZCMMessageIDKey);
  const std::string* idText = id ? id->stringIf() : nullptr;
  if (!idText || idText->empty()) return false;
  if (rmq2Manager_) rmq2Manager_->saveS2dMessageWithRmqId(*idText);
  if (isAPNSSyncMessage(message) && syncMessageManager_) {
    return syncMessageManager_->didReceiveAPNSSyncMessage(message);
  }
  return false;
}

bool ZCMService::isAPNSSyncMessage(const platform::Dictionary& message) {
  const platform::Value* aps = message.find("aps");
  if (!aps || !aps->isDictionary()) return false;
  return zcm_boolValue((*aps)["content-available"]);
}

bool ZCMService::isNetworkAvailable() const {
  return reachability_ && reachability_->isReachable();
}

int64_t ZCMService::networkType() const {
  if (!isNetworkAvailable()) return 0;
  return reachability_->isCellularNetwork() ? 2 : 1;
}

void ZCMService::networkStatusChanged() {
  if (client_ && !client_->isConnected() && isNetworkAvailable()) {
    client_->retryConnectionImmediately(true);
  }
}

void ZCMService::addDebugEvent(const std::string& event) {
  VKR_ASSERT_MAIN_THREAD();
  ZCMService& service = sharedInstance();
  const bool active = service.client_ && service.client_->isConnectionActive();
  service.debugEvents_.insert(
      service.debugEvents_.begin(),
      platform::format(
          "%lld:%lld:%d:%s", static_cast<long long>(ZCMCurrentTimestampInMilliseconds()),
          static_cast<long long>(service.networkType()), active ? 1 : 0, event.c_str()));
  if (service.debugEvents_.size() >= kDebugEventsCapacity) service.debugEvents_.pop_back();
}

void ZCMService::dumpAllEvents() {
  VKR_ASSERT_MAIN_THREAD();
  sharedInstance().debugEvents_.clear();
}
