#include "messaging/service/zcm_client.h"

#include <algorithm>
#include <set>

#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/checkin/zcm_checkin_store.h"
#include "messaging/service/zcm_data_message_manager.h"
#include "messaging/service/zcm_endpoints.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "toolbox/reachability/zip_reachability.h"

std::shared_ptr<ZCMClient> ZCMClient::make(std::weak_ptr<ZIPReachability> reachability,
                                           std::weak_ptr<ZCMRmqManager> rmq2Manager,
                                           std::shared_ptr<ZCMCheckinCache> checkinStore) {
  if (!checkinStore) checkinStore = std::make_shared<ZCMCheckinStore>();
  return std::shared_ptr<ZCMClient>(
      new ZCMClient(std::move(reachability), std::move(rmq2Manager), std::move(checkinStore)));
}

ZCMClient::ZCMClient(std::weak_ptr<ZIPReachability> reachability,
                     std::weak_ptr<ZCMRmqManager> rmq2Manager,
                     std::shared_ptr<ZCMCheckinCache> checkinStore)
    : registrar_(std::move(checkinStore)),
      rmq2Manager_(std::move(rmq2Manager)),
      reachability_(std::move(reachability)) {}

ZCMClient::~ZCMClient() {
  cancelDelayedPerforms();
  reconnectTimer_.cancel();
  if (connection_) connection_->setDelegate({});
}

platform::Timer ZCMClient::performAfter(double seconds, void (ZCMClient::*work)()) {
  return platform::dispatchAfter(platform::seconds(seconds), platform::mainQueue(),
                                 [weak = weak_from_this(), work] {
                                   if (const std::shared_ptr<ZCMClient> self = weak.lock()) {
                                     ((*self).*work)();
                                   }
                                 });
}

void ZCMClient::cancelDelayedPerforms() {
  tryToConnectTimer_.cancel();
  connectTimeoutTimer_.cancel();
}

void ZCMClient::connectWithHandler(ConnectHandler handler) {
  VKR_ASSERT_MAIN_THREAD();
  if (isConnected()) {
    if (handler) handler(errorWithZcmErrorCode(kZCMErrorCodeAlreadyConnected));
    return;
  }
  connectHandler_ = std::move(handler);
  registrar_.tryToLoadValidCheckinInfo();
  connect();
}

void ZCMClient::connect() {
  VKR_ASSERT_MAIN_THREAD();
  connectRetryCount_ = 0;
  if (isConnected()) return;
  stayConnected_ = true;
  if (!registrar_.hasValidCheckinInfo()) {
    ZCM_LOG_ERROR("ZCM registration is not ready with auth credentials");
    if (!registrar_.tryToLoadValidCheckinInfo()) {
      if (connectHandler_) connectHandler_(errorWithZcmErrorCode(kZCMErrorCodeMissingCheckin));
      return;
    }
  }
  setupConnectionAndConnect();
}

void ZCMClient::setupConnectionAndConnect() {
  setupConnection();
  tryToConnect();
}

void ZCMClient::setupConnection() {
  if (connection_) {
    connection_->signOut();
    connection_->setDelegate({});
  }
  const ZCMMessagingEndpoint endpoint = ZCMMessagingServer();
  std::weak_ptr<ZCMDataMessageResender> resender = dataMessageManager_.lock();
  connection_ = ZCMConnection::make(registrar_.deviceAuthID(), registrar_.secretToken(),
                                    endpoint.host, endpoint.port, rmq2Manager_, resender);
  connection_->setDelegate(weak_from_this());
}

void ZCMClient::disconnectWithTryToConnectLater(bool tryToConnectLater) {
  VKR_ASSERT_MAIN_THREAD();
  stayConnected_ = tryToConnectLater;
  // Held: signing out may end in calls back here.
  if (const std::shared_ptr<ZCMConnection> connection = connection_) connection->signOut();
  cancelDelayedPerforms();
  connectHandler_ = nullptr;
}

bool ZCMClient::isConnected() const {
  return stayConnected_ && connection_ && connection_->state() != ZCMConnection::kStateDisconnected;
}

bool ZCMClient::isConnectionActive() const {
  return stayConnected_ && connection_ && connection_->state() == ZCMConnection::kStateSignedIn;
}

void ZCMClient::retryConnectionImmediately(bool immediately) {
  VKR_ASSERT_MAIN_THREAD();
  if (!stayConnected_ || !connection_ || connection_->host().empty() || connection_->port() == 0 ||
      connection_->state() != ZCMConnection::kStateDisconnected) {
    return;
  }
  if (immediately) return tryToConnect();
  if (didScheduleReconnect_) return;
  didScheduleReconnect_ = true;
  reconnectTimer_ = platform::dispatchAfter(
      platform::seconds(kReconnectDelay), platform::mainQueue(), [weak = weak_from_this()] {
        if (const std::shared_ptr<ZCMClient> self = weak.lock()) {
          self->didScheduleReconnect_ = false;
          self->tryToConnect();
        }
      });
}

void ZCMClient::tryToConnect() {
  if (!stayConnected_) return;
  tryToConnectTimer_.cancel();
  if (!connection_ || connection_->state() != ZCMConnection::kStateDisconnected) return;
  ZCM_LOG_INFO("Signing into MCS");
  connectRetryCount_ = std::min(connectRetryCount_ + 1, kMaxConnectRetryCount);
  connectTimeoutTimer_.cancel();
  connectTimeoutTimer_ = performAfter(kConnectionTimeoutInterval, &ZCMClient::didConnectTimeout);
  // Held: a failed start may call back here before signIn returns.
  const std::shared_ptr<ZCMConnection> connection = connection_;
  connection->signIn();
}

void ZCMClient::didConnectTimeout() {
  if (!stayConnected_) return;
  if (const std::shared_ptr<ZCMConnection> connection = connection_) connection->signOut();
  scheduleConnectRetry();
}

double ZCMClient::nextRetryInterval() const {
  return static_cast<double>(uint32_t{1} << static_cast<uint32_t>(connectRetryCount_));
}

void ZCMClient::scheduleConnectRetry() {
  const std::shared_ptr<ZIPReachability> reachability = reachability_.lock();
  if (reachability && reachability->isReachable()) {
    tryToConnectTimer_.cancel();
    tryToConnectTimer_ = performAfter(nextRetryInterval(), &ZCMClient::tryToConnect);
    return;
  }
  ConnectHandler handler = connectHandler_;
  disconnectWithTryToConnectLater(true);
  if (handler) handler(platform::Error(kZCMNoInternetErrorDomain, 4));
}

void ZCMClient::sendMessage(google::protobuf::MessageLite& message) {
  if (connection_) connection_->sendProto(message);
}

void ZCMClient::sendOnConnectOrDrop(std::unique_ptr<google::protobuf::MessageLite> message) {
  if (connection_) connection_->sendOnConnectOrDrop(std::move(message));
}

void ZCMClient::updateSubscriptionWithToken(const std::string& token, const std::string& topic,
                                            const platform::Dictionary& options, bool shouldDelete,
                                            SubscriptionHandler handler) {
  VKR_ASSERT_MAIN_THREAD();
  registrar_.updateSubscriptionToTopic(
      topic, token, options, shouldDelete,
      [topic, shouldDelete, handler = std::move(handler)](
          const std::optional<std::string>&, const std::optional<platform::Error>& error) {
        if (error) {
          ZCM_LOG_ERROR("Failed to subscribe to topic %s", topic.c_str());
        } else if (shouldDelete) {
          ZCM_LOG_INFO("Successfully unsubscribed from topic %s", topic.c_str());
        } else {
          ZCM_LOG_INFO("Successfully subscribed to topic %s", topic.c_str());
        }
        if (handler) handler(error);
      });
}

void ZCMClient::teardown() {
  VKR_ASSERT_MAIN_THREAD();
  stayConnected_ = false;
  connectHandler_ = nullptr;
  if (const std::shared_ptr<ZCMConnection> connection = connection_) connection->teardown();
  registrar_.cancelAllRequests();
  cancelDelayedPerforms();
  reconnectTimer_.cancel();
  didScheduleReconnect_ = false;
}

void ZCMClient::cancelAllRequests() {
  registrar_.cancelAllRequests();
  const unsigned state = connection_ ? connection_->state() : ZCMConnection::kStateDisconnected;
  if (stayConnected_ &&
      (state == ZCMConnection::kStateConnecting || state == ZCMConnection::kStateConnected)) {
    stayConnected_ = false;
    cancelDelayedPerforms();
  }
}

bool ZCMClient::isClientRegistered() const {
  return !registrar_.deviceAuthID().empty() && !registrar_.secretToken().empty();
}

// Connection events

void ZCMClient::didLoginWithConnection(ZCMConnection&) {
  connectTimeoutTimer_.cancel();
  connectRetryCount_ = 0;
  if (const std::shared_ptr<ZCMDataMessageManager> manager = dataMessageManager_.lock()) {
    manager->setDeviceAuthID(registrar_.deviceAuthID(), registrar_.secretToken());
  }
  if (ConnectHandler handler = std::move(connectHandler_)) {
    connectHandler_ = nullptr;
    handler(std::nullopt);
  }
}

void ZCMClient::connection(ZCMConnection&, unsigned reason) {
  if (reason == ZCMConnectionDelegate::kCloseReasonSocketDisconnected) {
    connectTimeoutTimer_.cancel();
  }
  if (stayConnected_) scheduleConnectRetry();
}

void ZCMClient::connectionDidRecieveMessage(const DudevDataMessageStanza& message) {
  const std::shared_ptr<ZCMDataMessageManager> manager = dataMessageManager_.lock();
  if (!manager) return;
  std::optional<platform::Dictionary> parsed = manager->processPacket(message);
  if (parsed && !parsed->empty()) manager->didReceiveParsedMessage(*parsed);
}

int32_t ZCMClient::connectionDidReceiveAckForRmqIds(const std::vector<std::string>& rmqIds) {
  const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock();
  if (!store) return 0;
  const std::set<std::string> ids(rmqIds.begin(), rmqIds.end());
  std::vector<DudevDataMessageStanza> sent;
  store->scanWithRmqMessageHandler(nullptr,
                                   [&](int64_t rmqId, const DudevDataMessageStanza& stanza) {
                                     if (ids.contains(std::to_string(rmqId))) {
                                       sent.push_back(stanza);
                                     }
                                   });
  if (const std::shared_ptr<ZCMDataMessageManager> manager = dataMessageManager_.lock()) {
    for (const DudevDataMessageStanza& stanza : sent) manager->didSendDataMessageStanza(stanza);
  }
  return store->removeRmqMessagesWithRmqIds(rmqIds);
}
