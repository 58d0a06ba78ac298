#pragma once

// One sign-in of the persistent messaging connection: opens a secure socket, logs in with the
// device's check-in credentials, keeps the connection alive with heartbeats, counts stream
// positions both ways, acknowledges what it received and learns which sent messages the server
// holds. Main thread only; its timers run on the main queue (in virtual time under a
// ManualClock).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "messaging/connection/zcm_secure_socket.h"
#include "messaging/wire/frame.h"
#include "platform/dispatch/timer.h"

namespace google::protobuf {
class MessageLite;
}
class DudevDataMessageStanza;
class DudevHeartbeatAck;
class DudevHeartbeatPing;
class DudevIqStanza;
class DudevLoginRequest;
class DudevLoginResponse;
class DudevClose;
class ZCMConnection;
class ZCMRmqManager;

// The messaging endpoint's port.
inline constexpr uint16_t kZCMMessagingPort = 5228;
// The domain the login request names the messaging service by.
inline constexpr const char* kZCMLoginDomain = "mcs.zorova.com";

class ZCMConnectionDelegate {
 public:
  enum CloseReason : unsigned {
    kCloseReasonSocketDisconnected = 0,
    kCloseReasonTimeout = 1,
  };
  virtual ~ZCMConnectionDelegate() = default;
  virtual void connection(ZCMConnection& connection, unsigned reason) = 0;
  virtual void didLoginWithConnection(ZCMConnection& connection) = 0;
  virtual void connectionDidRecieveMessage(const DudevDataMessageStanza& message) = 0;
  // Answers how many stored outgoing messages it removed for the ids.
  virtual int32_t connectionDidReceiveAckForRmqIds(const std::vector<std::string>& rmqIds) = 0;
};

// The data-message layer, asked to send again what the store still holds after the server
// acknowledged a batch.
class ZCMDataMessageResender {
 public:
  virtual ~ZCMDataMessageResender() = default;
  virtual void resendMessagesWithConnection(ZCMConnection& connection) = 0;
};

// A sent message with a persistent id, waiting for the server to confirm it.
struct ZCMD2SInfo {
  int32_t streamId = 0;
  std::string d2sID;
  bool operator==(const ZCMD2SInfo&) const = default;
};

class ZCMConnection final : public ZCMSecureSocketDelegate,
                            public std::enable_shared_from_this<ZCMConnection> {
 public:
  enum State : unsigned {
    kStateDisconnected = 0,
    kStateConnecting = 1,
    kStateConnected = 2,
    kStateSignedIn = 3,
  };
  // Seconds a heartbeat ping waits for any frame before the connection ends.
  static constexpr double kConnectionTimeoutInterval = 20;
  // Seconds after an accepted frame before the next heartbeat ping.
  static constexpr double kHeartbeatInterval = 30;

  // authID is the check-in device id (decimal text of a 64-bit number), token its secret.
  static std::shared_ptr<ZCMConnection> make(std::string authID, std::string token,
                                             std::string host, uint16_t port,
                                             std::weak_ptr<ZCMRmqManager> rmq2Manager,
                                             std::weak_ptr<ZCMDataMessageResender> zcmManager);
  ~ZCMConnection() override;

  void setDelegate(std::weak_ptr<ZCMConnectionDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  unsigned state() const { return state_; }
  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }
  int32_t inStreamId() const { return inStreamId_; }
  int32_t outStreamId() const { return outStreamId_; }
  // "host: %@, port: %lu, stream id in: %d, stream id out: %d"
  std::string description() const;

  void signIn();
  void signOut();
  void teardown();
  // Stops the timers and closes the socket without telling the delegate.
  void disconnect();

  // A login request goes out in the connected state only, every other message once signed in;
  // otherwise the message is dropped.
  void sendProto(google::protobuf::MessageLite& proto);
  // Sends once signed in; until then the message waits for the login (signOut() drops it).
  void sendOnConnectOrDrop(std::unique_ptr<google::protobuf::MessageLite> proto);

  void sendHeartbeatPing();
  void sendHeartbeatAck();
  void sendStreamAck();
  void sendClose();
  static DudevIqStanza createStreamAck();
  static DudevLoginRequest loginRequestWithToken(const std::string& token,
                                                 const std::string& authID);
  // The service's network type (0 none, 1 other than cellular, 2 cellular) as the login
  // carries it: 1, 0 and -1 for anything else.
  static int32_t currentNetworkType();
  // Where currentNetworkType() reads the service's network type; none reads as no network.
  static void setNetworkTypeProvider(std::function<int64_t()> provider);

  // ZCMSecureSocketDelegate
  void secureSocket(ZCMSecureSocket& socket, std::string_view data, int8_t tag) override;
  void secureSocket(ZCMSecureSocket& socket, int8_t tag,
                    const std::optional<std::string>& rmqId) override;
  void secureSocketDidConnect(ZCMSecureSocket& socket) override;
  void didDisconnectWithSecureSocket(ZCMSecureSocket& socket) override;

 private:
  ZCMConnection(std::string authID, std::string token, std::string host, uint16_t port,
                std::weak_ptr<ZCMRmqManager> rmq2Manager,
                std::weak_ptr<ZCMDataMessageResender> zcmManager);

  void setupConnectionSocket();
  void connectToSocket(ZCMSecureSocket& socket);
  void sendLoginRequest(const std::string& authID, const std::string& token);
  void resetUnconfirmedAcks();
  void willProcessProto(const google::protobuf::MessageLite& proto, int8_t tag);
  void willSendProto(google::protobuf::MessageLite& proto);
  void confirmAckedD2sIdsWithStreamId(int32_t lastReceivedStreamId);
  void confirmAckedS2dIdsWithStreamId(int32_t lastReceivedStreamId);

  void didReceiveHeartbeatPing(const DudevHeartbeatPing& ping);
  void didReceiveLoginResponse(const DudevLoginResponse& response);
  void didReceiveClose(const DudevClose& close);
  void handleIqStanza(const DudevIqStanza& stanza);
  void didReceiveSelectiveAck(const DudevIqStanza& stanza);

  void scheduleHeartbeatPing();
  void cancelHeartbeatPings();
  void scheduleConnectionTimeoutTask();
  void cancelConnectionTimeoutTask();
  void connectionTimedOut();

  std::string authId_;
  std::string token_;
  std::string host_;
  uint16_t port_;
  std::weak_ptr<ZCMConnectionDelegate> delegate_;
  std::weak_ptr<ZCMRmqManager> rmq2Manager_;
  std::weak_ptr<ZCMDataMessageResender> dataMessageManager_;
  std::shared_ptr<ZCMSecureSocket> socket_;
  unsigned state_ = kStateDisconnected;
  int32_t inStreamId_ = 0;
  int32_t outStreamId_ = 0;
  int32_t lastStreamIdAcked_ = 0;
  std::vector<std::string> unackedS2dIds_;
  // Outbound stream id and the received ids the frame with that id reported, in sending order.
  std::vector<std::pair<int32_t, std::vector<std::string>>> ackedS2dIds_;
  std::vector<ZCMD2SInfo> d2sInfos_;
  std::vector<std::unique_ptr<google::protobuf::MessageLite>> sendOnConnectMessages_;
  // Received frames parse into messages it keeps for the next ones.
  ZCMFrameParser frameParser_;
  std::unique_ptr<DudevIqStanza> streamAck_;
  platform::Timer heartbeatPing_;
  platform::Timer connectionTimeout_;
};
