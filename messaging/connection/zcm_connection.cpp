#include "messaging/connection/zcm_connection.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/dudev_extensions.pb.h"
#include "messaging/wire/frame.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"

namespace {

// Received ids go back to the server once this many inbound frames are unreported.
constexpr int32_t kStreamAckThreshold = 10;
// A batch of confirmed sent messages this large is answered with a stream acknowledgement.
constexpr int32_t kConfirmedMessagesAckThreshold = 5;

// Whether stream id `a` sorts before `b` as decimal texts do ("10" before "9").
bool sortsAsTextBefore(int32_t a, int32_t b) {
  char textA[12];
  char textB[12];
  const char* endA = std::to_chars(textA, textA + sizeof textA, a).ptr;
  const char* endB = std::to_chars(textB, textB + sizeof textB, b).ptr;
  return std::string_view(textA, static_cast<size_t>(endA - textA)) <
         std::string_view(textB, static_cast<size_t>(endB - textB));
}

using AckedIds = std::vector<std::pair<int32_t, std::vector<std::string>>>;

// Moves the entries' ids to the end of `ids`, entries taken in the order of their stream ids'
// decimal texts: the order the ids have always been handed back in.
void appendInTextOrder(AckedIds::iterator first, AckedIds::iterator last,
                       std::vector<std::string>& ids) {
  std::stable_sort(first, last, [](const auto& a, const auto& b) {
    return sortsAsTextBefore(a.first, b.first);
  });
  for (; first != last; ++first) {
    ids.insert(ids.end(), std::make_move_iterator(first->second.begin()),
               std::make_move_iterator(first->second.end()));
  }
}

std::function<int64_t()>& networkTypeProvider() {
  static std::function<int64_t()> provider;
  return provider;
}

}  // namespace

std::shared_ptr<ZCMConnection> ZCMConnection::make(
    std::string authID, std::string token, std::string host, uint16_t port,
    std::weak_ptr<ZCMRmqManager> rmq2Manager, std::weak_ptr<ZCMDataMessageResender> zcmManager) {
  return std::shared_ptr<ZCMConnection>(
      new ZCMConnection(std::move(authID), std::move(token), std::move(host), port,
                        std::move(rmq2Manager), std::move(zcmManager)));
}

ZCMConnection::ZCMConnection(std::string authID, std::string token, std::string host, uint16_t port,
                             std::weak_ptr<ZCMRmqManager> rmq2Manager,
                             std::weak_ptr<ZCMDataMessageResender> zcmManager)
    : authId_(std::move(authID)),
      token_(std::move(token)),
      host_(std::move(host)),
      port_(port),
      rmq2Manager_(std::move(rmq2Manager)),
      dataMessageManager_(std::move(zcmManager)) {
  if (const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock()) {
    unackedS2dIds_ = store->unackedS2dRmqIds();
  }
}

ZCMConnection::~ZCMConnection() {
  heartbeatPing_.cancel();
  connectionTimeout_.cancel();
  if (socket_) socket_->setDelegate({});
}

std::string ZCMConnection::description() const {
  return "host: " + host_ + ", port: " + std::to_string(port_) +
         ", stream id in: " + std::to_string(inStreamId_) +
         ", stream id out: " + std::to_string(outStreamId_);
}

void ZCMConnection::signIn() {
  VKR_ASSERT_MAIN_THREAD();
  if (state_ != kStateDisconnected) return;
  setupConnectionSocket();
  connectToSocket(*socket_);
}

void ZCMConnection::setupConnectionSocket() {
  socket_ = ZCMSecureSocket::make();
  socket_->setDelegate(weak_from_this());
}

void ZCMConnection::connectToSocket(ZCMSecureSocket& socket) {
  state_ = kStateConnecting;
  socket.connectToHost(host_, port_);
}

void ZCMConnection::signOut() {
  VKR_ASSERT_MAIN_THREAD();
  sendOnConnectMessages_.clear();
  if (state_ == kStateSignedIn) sendClose();
  if (state_ != kStateDisconnected) disconnect();
}

void ZCMConnection::teardown() {
  if (state_ != kStateDisconnected) disconnect();
}

void ZCMConnection::disconnect() {
  VKR_ASSERT_MAIN_THREAD();
  cancelConnectionTimeoutTask();
  cancelHeartbeatPings();
  // Held until the end: the socket's own call may be what led here.
  const std::shared_ptr<ZCMSecureSocket> socket = socket_;
  if (socket) {
    socket->setDelegate({});
    socket->disconnect();
  }
  state_ = kStateDisconnected;
}

void ZCMConnection::sendProto(google::protobuf::MessageLite& proto) {
  VKR_ASSERT_MAIN_THREAD();
  const int8_t tag = ZCMGetTagForProto(proto);
  const bool allowed =
      tag == kZCMTagLoginRequest ? state_ == kStateConnected : state_ == kStateSignedIn;
  if (!allowed || !socket_) return;
  willSendProto(proto);
  const std::shared_ptr<ZCMSecureSocket> socket = socket_;
  socket->sendData(proto.SerializeAsString(), tag, ZCMGetPersistentIdForProto(proto));
}

void ZCMConnection::sendOnConnectOrDrop(std::unique_ptr<google::protobuf::MessageLite> proto) {
  if (!proto) return;
  if (state_ == kStateSignedIn) {
    sendProto(*proto);
  } else {
    sendOnConnectMessages_.push_back(std::move(proto));
  }
}

void ZCMConnection::sendHeartbeatPing() {
  cancelHeartbeatPings();
  scheduleConnectionTimeoutTask();
  DudevHeartbeatPing ping;
  sendProto(ping);
}

void ZCMConnection::sendHeartbeatAck() {
  DudevHeartbeatAck ack;
  sendProto(ack);
}

void ZCMConnection::sendStreamAck() {
  // The same message each time but for the stream position sendProto() sets: made once, and
  // taken out while in use so that a nested send makes its own.
  std::unique_ptr<DudevIqStanza> ack = std::move(streamAck_);
  if (!ack) ack = std::make_unique<DudevIqStanza>(createStreamAck());
  ack->clear_last_stream_id_received();
  sendProto(*ack);
  streamAck_ = std::move(ack);
}

void ZCMConnection::sendClose() {
  DudevClose close;
  sendProto(close);
}

DudevIqStanza ZCMConnection::createStreamAck() {
  DudevIqStanza ack;
  ack.set_type(DudevIqStanza::IQ_TYPE_1);
  ack.set_id("");
  ack.mutable_extension()->set_id(kZCMStreamAckExtensionId);
  ack.mutable_extension()->set_data("");
  return ack;
}

DudevLoginRequest ZCMConnection::loginRequestWithToken(const std::string& token,
                                                       const std::string& authID) {
  DudevLoginRequest login;
  login.set_account_id(1000000);
  login.set_adaptive_heartbeat(false);
  login.set_auth_service(DudevLoginRequest::AUTH_SERVICE_2);
  login.set_auth_token(token);
  login.set_id("ios-" + ZCMCurrentLibraryVersion());
  login.set_domain(kZCMLoginDomain);
  // The device id's 64 bits in lower-case hexadecimal.
  const long long deviceId = std::strtoll(authID.c_str(), nullptr, 10);
  char deviceText[40];
  std::snprintf(deviceText, sizeof deviceText, "android-%llx",
                static_cast<unsigned long long>(deviceId));
  login.set_device_id(deviceText);
  login.set_network_type(currentNetworkType());
  login.set_resource(authID);
  login.set_user(authID);
  login.set_use_rmq2(true);
  login.set_last_rmq_id(1);
  return login;
}

int32_t ZCMConnection::currentNetworkType() {
  const int64_t type = networkTypeProvider() ? networkTypeProvider()() : 0;
  if (type == 1) return 1;
  if (type == 2) return 0;
  return -1;
}

void ZCMConnection::setNetworkTypeProvider(std::function<int64_t()> provider) {
  networkTypeProvider() = std::move(provider);
}

void ZCMConnection::secureSocketDidConnect(ZCMSecureSocket&) {
  state_ = kStateConnected;
  lastStreamIdAcked_ = 0;
  inStreamId_ = 0;
  outStreamId_ = 0;
  resetUnconfirmedAcks();
  sendLoginRequest(authId_, token_);
}

void ZCMConnection::resetUnconfirmedAcks() {
  appendInTextOrder(ackedS2dIds_.begin(), ackedS2dIds_.end(), unackedS2dIds_);
  ackedS2dIds_.clear();
}

void ZCMConnection::sendLoginRequest(const std::string& authID, const std::string& token) {
  DudevLoginRequest login = loginRequestWithToken(token, authID);
  d2sInfos_.clear();
  for (const std::string& id : unackedS2dIds_) login.add_received_persistent_id(id);
  DudevSetting* setting = login.add_setting();
  setting->set_name("new_vc");
  setting->set_value("1");
  sendProto(login);
}

void ZCMConnection::secureSocket(ZCMSecureSocket&, int8_t, const std::optional<std::string>&) {}

void ZCMConnection::didDisconnectWithSecureSocket(ZCMSecureSocket&) {
  const std::shared_ptr<ZCMConnection> keep = shared_from_this();
  disconnect();
  if (const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock()) {
    delegate->connection(*this, ZCMConnectionDelegate::kCloseReasonSocketDisconnected);
  }
}

void ZCMConnection::secureSocket(ZCMSecureSocket&, std::string_view data, int8_t tag) {
  if (tag < 0) return;
  if (ZCMGetClassForTag(tag) == nullptr) {
    ZCM_LOG_ERROR("Invalid tag %d for proto", tag);
    return;
  }
  // The socket holds this connection through the call, so a handler may disconnect or the
  // delegate let the connection go while the message (which goes back to the parser) is in use.
  const ZCMFrameParser::Parsed proto = frameParser_.parse(tag, data);
  if (!proto) return;
  const bool accepted =
      tag == kZCMTagLoginResponse ? state_ == kStateConnected : state_ == kStateSignedIn;
  if (!accepted) return;

  cancelConnectionTimeoutTask();
  scheduleHeartbeatPing();
  willProcessProto(*proto, tag);
  switch (tag) {
    case kZCMTagHeartbeatPing:
      didReceiveHeartbeatPing(static_cast<const DudevHeartbeatPing&>(*proto));
      break;
    case kZCMTagHeartbeatAck:
      break;
    case kZCMTagLoginResponse:
      didReceiveLoginResponse(static_cast<const DudevLoginResponse&>(*proto));
      break;
    case kZCMTagClose:
      didReceiveClose(static_cast<const DudevClose&>(*proto));
      break;
    case kZCMTagIqStanza:
      handleIqStanza(static_cast<const DudevIqStanza&>(*proto));
      break;
    case kZCMTagDataMessageStanza:
      if (const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock()) {
        delegate->connectionDidRecieveMessage(static_cast<const DudevDataMessageStanza&>(*proto));
      }
      break;
    default:
      break;  // an unhandled message
  }
}

void ZCMConnection::willProcessProto(const google::protobuf::MessageLite& proto, int8_t tag) {
  ++inStreamId_;
  const int32_t lastReceived = ZCMGetLastStreamIdReceivedFromProto(proto);
  if (lastReceived != -1) {
    confirmAckedD2sIdsWithStreamId(lastReceived);
    confirmAckedS2dIdsWithStreamId(lastReceived);
  }
  if (std::optional<std::string> persistentId = ZCMGetPersistentIdForProto(proto)) {
    if (const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock()) {
      store->saveS2dMessageWithRmqId(*persistentId);
    }
    unackedS2dIds_.push_back(std::move(*persistentId));
  }
  const bool immediateAck = tag == kZCMTagDataMessageStanza &&
                            static_cast<const DudevDataMessageStanza&>(proto).immediate_ack();
  if (immediateAck || inStreamId_ - lastStreamIdAcked_ >= kStreamAckThreshold) {
    sendStreamAck();
  }
}

void ZCMConnection::willSendProto(google::protobuf::MessageLite& proto) {
  ++outStreamId_;
  if (std::optional<std::string> persistentId = ZCMGetPersistentIdForProto(proto);
      persistentId && !persistentId->empty()) {
    d2sInfos_.push_back(ZCMD2SInfo{outStreamId_, std::move(*persistentId)});
  }
  if (inStreamId_ > lastStreamIdAcked_) {
    ZCMSetLastStreamIdReceivedInProto(proto, inStreamId_);
    lastStreamIdAcked_ = inStreamId_;
  }
  if (!unackedS2dIds_.empty()) {
    // Stream ids only grow within a connection: the list stays in their order.
    ackedS2dIds_.emplace_back(outStreamId_, std::move(unackedS2dIds_));
    unackedS2dIds_.clear();
    // Most frames come between two acknowledgements: room for them saves regrowing each time.
    unackedS2dIds_.reserve(kStreamAckThreshold);
  }
}

void ZCMConnection::confirmAckedD2sIdsWithStreamId(int32_t lastReceivedStreamId) {
  size_t taken = 0;
  std::vector<std::string> confirmed;
  while (taken < d2sInfos_.size() && d2sInfos_[taken].streamId <= lastReceivedStreamId) {
    if (!d2sInfos_[taken].d2sID.empty()) confirmed.push_back(d2sInfos_[taken].d2sID);
    ++taken;
  }
  d2sInfos_.erase(d2sInfos_.begin(), d2sInfos_.begin() + static_cast<std::ptrdiff_t>(taken));
  const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock();
  const int32_t removed = delegate ? delegate->connectionDidReceiveAckForRmqIds(confirmed) : 0;
  if (removed >= kConfirmedMessagesAckThreshold) sendStreamAck();
}

void ZCMConnection::confirmAckedS2dIdsWithStreamId(int32_t lastReceivedStreamId) {
  const auto confirmedEnd =
      std::stable_partition(ackedS2dIds_.begin(), ackedS2dIds_.end(), [&](const auto& entry) {
        return entry.first <= lastReceivedStreamId && !entry.second.empty();
      });
  std::vector<std::string> confirmed;
  appendInTextOrder(ackedS2dIds_.begin(), confirmedEnd, confirmed);
  ackedS2dIds_.erase(ackedS2dIds_.begin(), confirmedEnd);
  if (const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock()) {
    store->removeS2dIds(confirmed);
  }
}

void ZCMConnection::didReceiveHeartbeatPing(const DudevHeartbeatPing&) { sendHeartbeatAck(); }

void ZCMConnection::didReceiveLoginResponse(const DudevLoginResponse& response) {
  // A refused login changes nothing: the client's connect timer ends the attempt.
  if (response.has_error()) return;
  state_ = kStateSignedIn;
  if (const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock()) {
    delegate->didLoginWithConnection(*this);
  }
  sendHeartbeatPing();
  std::vector<std::unique_ptr<google::protobuf::MessageLite>> waiting;
  waiting.swap(sendOnConnectMessages_);
  for (const std::unique_ptr<google::protobuf::MessageLite>& message : waiting) sendProto(*message);
}

void ZCMConnection::didReceiveClose(const DudevClose&) { disconnect(); }

void ZCMConnection::handleIqStanza(const DudevIqStanza& stanza) {
  if (!stanza.has_extension()) return;  // an unhandled stanza
  if (stanza.extension().id() == kZCMSelectiveAckExtensionId) didReceiveSelectiveAck(stanza);
  // A stream acknowledgement (id 13) and any other extension need nothing.
}

void ZCMConnection::didReceiveSelectiveAck(const DudevIqStanza& stanza) {
  DudevSelectiveAck ack;
  if (!ack.MergeFromString(stanza.extension().data())) return;
  const std::vector<std::string> ids(ack.id().begin(), ack.id().end());
  if (const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock()) {
    delegate->connectionDidReceiveAckForRmqIds(ids);
  }
  if (const std::shared_ptr<ZCMDataMessageResender> resender = dataMessageManager_.lock()) {
    resender->resendMessagesWithConnection(*this);
  }
}

void ZCMConnection::scheduleHeartbeatPing() {
  // Every scheduled ping cancels the others when it fires, so only the earliest counts: a ping
  // already waiting stands for the later frames too.
  if (heartbeatPing_.isValid()) return;
  heartbeatPing_ = platform::dispatchAfter(
      platform::seconds(kHeartbeatInterval), platform::mainQueue(), [weak = weak_from_this()] {
        if (const std::shared_ptr<ZCMConnection> self = weak.lock()) self->sendHeartbeatPing();
      });
}

void ZCMConnection::cancelHeartbeatPings() { heartbeatPing_.cancel(); }

void ZCMConnection::scheduleConnectionTimeoutTask() {
  cancelConnectionTimeoutTask();
  connectionTimeout_ =
      platform::dispatchAfter(platform::seconds(kConnectionTimeoutInterval), platform::mainQueue(),
                              [weak = weak_from_this()] {
                                if (const std::shared_ptr<ZCMConnection> self = weak.lock())
                                  self->connectionTimedOut();
                              });
}

void ZCMConnection::cancelConnectionTimeoutTask() {
  // Let go once cancelled: every accepted frame cancels, and a second cancel would still look
  // the timer up.
  connectionTimeout_.cancel();
  connectionTimeout_ = platform::Timer();
}

void ZCMConnection::connectionTimedOut() {
  const std::shared_ptr<ZCMConnection> keep = shared_from_this();
  disconnect();
  if (const std::shared_ptr<ZCMConnectionDelegate> delegate = delegate_.lock()) {
    delegate->connection(*this, ZCMConnectionDelegate::kCloseReasonTimeout);
  }
}
