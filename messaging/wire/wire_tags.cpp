#include "messaging/wire/wire_tags.h"

#include <type_traits>
#include <typeinfo>

#include "messaging/wire/dudev_core.pb.h"

namespace {

// The generated message classes are final, so comparing the exact type answers what a dynamic
// cast would, without walking the class hierarchy on every frame.
template <typename T>
bool isA(const google::protobuf::MessageLite& proto) {
  static_assert(std::is_final_v<T>);
  return typeid(proto) == typeid(T);
}
template <typename T>
T* as(google::protobuf::MessageLite& proto) {
  return isA<T>(proto) ? static_cast<T*>(&proto) : nullptr;
}
template <typename T>
const T* as(const google::protobuf::MessageLite& proto) {
  return isA<T>(proto) ? static_cast<const T*>(&proto) : nullptr;
}

// Calls `visit` with the message as the first of the listed types it is, or answers `otherwise`.
template <typename Result, typename First, typename... Rest, typename Message, typename Visit>
Result visitAs(Message& proto, Result otherwise, Visit visit) {
  if (auto* typed = as<First>(proto)) return visit(*typed);
  if constexpr (sizeof...(Rest) == 0) {
    return otherwise;
  } else {
    return visitAs<Result, Rest...>(proto, otherwise, visit);
  }
}

// The types are tried with data messages, the bulk of the stream, first.
template <typename Message, typename Visit>
auto visitStanza(Message& proto, auto otherwise, Visit visit) {
  return visitAs<decltype(otherwise), DudevDataMessageStanza, DudevIqStanza>(proto, otherwise,
                                                                             visit);
}

template <typename Message, typename Visit>
auto visitStreamPosition(Message& proto, auto otherwise, Visit visit) {
  return visitAs<decltype(otherwise), DudevDataMessageStanza, DudevIqStanza, DudevHeartbeatPing,
                 DudevHeartbeatAck>(proto, otherwise, visit);
}

}  // namespace

int8_t ZCMGetTagForProto(const google::protobuf::MessageLite& proto) {
  // The most frequent first: acknowledgements and data messages.
  if (as<DudevIqStanza>(proto)) return kZCMTagIqStanza;
  if (as<DudevDataMessageStanza>(proto)) return kZCMTagDataMessageStanza;
  if (as<DudevHeartbeatPing>(proto)) return kZCMTagHeartbeatPing;
  if (as<DudevHeartbeatAck>(proto)) return kZCMTagHeartbeatAck;
  if (as<DudevLoginRequest>(proto)) return kZCMTagLoginRequest;
  if (as<DudevLoginResponse>(proto)) return kZCMTagLoginResponse;
  if (as<DudevClose>(proto)) return kZCMTagClose;
  return -1;
}

const google::protobuf::MessageLite* ZCMGetClassForTag(int8_t tag) {
  switch (tag) {
    case kZCMTagHeartbeatPing:
      return &DudevHeartbeatPing::default_instance();
    case kZCMTagHeartbeatAck:
      return &DudevHeartbeatAck::default_instance();
    case kZCMTagLoginRequest:
      return &DudevLoginRequest::default_instance();
    case kZCMTagLoginResponse:
      return &DudevLoginResponse::default_instance();
    case kZCMTagClose:
      return &DudevClose::default_instance();
    case kZCMTagIqStanza:
      return &DudevIqStanza::default_instance();
    case kZCMTagDataMessageStanza:
      return &DudevDataMessageStanza::default_instance();
    default:
      return nullptr;
  }
}

std::optional<std::string> ZCMGetPersistentIdForProto(const google::protobuf::MessageLite& proto) {
  return visitStanza(proto, std::optional<std::string>(),
                     [](const auto& stanza) -> std::optional<std::string> {
                       if (!stanza.has_persistent_id()) return std::nullopt;
                       return stanza.persistent_id();
                     });
}

void ZCMSetPersistentIdForProto(google::protobuf::MessageLite& proto,
                                const std::string& persistentId) {
  visitStanza(proto, false, [&](auto& stanza) {
    stanza.set_persistent_id(persistentId);
    return true;
  });
}

int32_t ZCMGetLastStreamIdReceivedFromProto(const google::protobuf::MessageLite& proto) {
  return visitStreamPosition(proto, int32_t{-1}, [](const auto& message) {
    return message.has_last_stream_id_received() ? message.last_stream_id_received() : -1;
  });
}

void ZCMSetLastStreamIdReceivedInProto(google::protobuf::MessageLite& proto, int32_t streamId) {
  visitStreamPosition(proto, false, [&](auto& message) {
    message.set_last_stream_id_received(streamId);
    return true;
  });
}
