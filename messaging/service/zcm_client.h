#pragma once
// Owns the persistent messaging connection for the service: connects when asked, makes a new
// connection (signed in again) for every attempt, times attempts out after 40 s, retries after
// 1 << attempts seconds (at most 1024) while the network is reachable and waits for the network
// when it is not, reconnects 120 s after an upstream message found no connection, and routes what
// the connection delivers to the data-message layer and the store. It also passes topic requests
// to the registrar. Main thread only; its timers run on the main queue (virtual time under a
// ManualClock).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/checkin/zcm_checkin_service.h"
#include "messaging/connection/zcm_connection.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/service/zcm_registrar.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/error.h"

class ZCMDataMessageManager;
class ZIPReachability;

// The domain of the error a connect request gets when no network is reachable (code 4).
inline constexpr const char* kZCMNoInternetErrorDomain =
    "No internet available, cannot connect to ZCM";

class ZCMClient final : public ZCMConnectionDelegate,
                        public std::enable_shared_from_this<ZCMClient> {
 public:
  using ConnectHandler = std::function<void(const std::optional<platform::Error>& error)>;
  using SubscriptionHandler = std::function<void(const std::optional<platform::Error>& error)>;

  static constexpr double kConnectionTimeoutInterval = 40;
  static constexpr double kReconnectDelay = 120;
  static constexpr uint64_t kMaxConnectRetryCount = 10;

  // The reachability monitor and the store are held weakly; the credentials are read from the
  // check-in store (the identity client's, by default).
  static std::shared_ptr<ZCMClient> make(std::weak_ptr<ZIPReachability> reachability,
                                         std::weak_ptr<ZCMRmqManager> rmq2Manager,
                                         std::shared_ptr<ZCMCheckinCache> checkinStore = nullptr);
  ~ZCMClient() override;

  void setDataMessageManager(std::weak_ptr<ZCMDataMessageManager> manager) {
    dataMessageManager_ = std::move(manager);
  }
  ZCMRegistrar& registrar() { return registrar_; }
  // The connection of the current attempt; none before the first.
  const std::shared_ptr<ZCMConnection>& connection() const { return connection_; }
  uint64_t connectRetryCount() const { return connectRetryCount_; }

  // Connects and stays connected; the handler hears how the first attempts end (2001 at once
  // when already connected, 501 without credentials, the "No internet" error, or no error once
  // logged in).
  void connectWithHandler(ConnectHandler handler);
  void connect();
  void disconnect() { disconnectWithTryToConnectLater(false); }
  // Signs out and cancels the pending attempts; the handler is dropped without a call.
  void disconnectWithTryToConnectLater(bool tryToConnectLater);
  bool isConnected() const;
  bool isConnectionActive() const;
  // While the client wants a connection and has none: an attempt now (true) or in 120 s (false,
  // at most one pending).
  void retryConnectionImmediately(bool immediately);

  void sendMessage(google::protobuf::MessageLite& message);
  void sendOnConnectOrDrop(std::unique_ptr<google::protobuf::MessageLite> message);

  // A topic request through the registrar; the handler gets its error or none.
  void updateSubscriptionWithToken(const std::string& token, const std::string& topic,
                                   const platform::Dictionary& options, bool shouldDelete,
                                   SubscriptionHandler handler);

  void teardown();
  void cancelAllRequests();
  void clearAllHandlers() { connectHandler_ = nullptr; }
  bool isClientRegistered() const;

  // ZCMConnectionDelegate
  void connection(ZCMConnection& connection, unsigned reason) override;
  void didLoginWithConnection(ZCMConnection& connection) override;
  void connectionDidRecieveMessage(const DudevDataMessageStanza& message) override;
  int32_t connectionDidReceiveAckForRmqIds(const std::vector<std::string>& rmqIds) override;

 private:
  ZCMClient(std::weak_ptr<ZIPReachability> reachability, std::weak_ptr<ZCMRmqManager> rmq2Manager,
            std::shared_ptr<ZCMCheckinCache> checkinStore);

  void setupConnectionAndConnect();
  void setupConnection();
  void tryToConnect();
  void didConnectTimeout();
  void scheduleConnectRetry();
  double nextRetryInterval() const;
  void cancelDelayedPerforms();
  // Runs the work later on the main queue while the client lives.
  platform::Timer performAfter(double seconds, void (ZCMClient::*work)());

  std::shared_ptr<ZCMConnection> connection_;
  std::weak_ptr<ZCMDataMessageManager> dataMessageManager_;
  ZCMRegistrar registrar_;
  std::weak_ptr<ZCMRmqManager> rmq2Manager_;
  std::weak_ptr<ZIPReachability> reachability_;
  uint64_t connectRetryCount_ = 0;
  bool stayConnected_ = false;
  bool didScheduleReconnect_ = false;
  ConnectHandler connectHandler_;
  platform::Timer tryToConnectTimer_;
  platform::Timer connectTimeoutTimer_;
  platform::Timer reconnectTimer_;
};
