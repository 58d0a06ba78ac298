#pragma once

// What travels on the messaging stream besides the messages themselves: the version byte, the
// tags that name each frame's message type, the extension ids of IQ stanzas, and the accessors
// for the reliable-message id and the stream position that several message types share.

#include <cstdint>
#include <optional>
#include <string>

namespace google::protobuf {
class MessageLite;
}

// The first byte of the stream in each direction.
inline constexpr uint8_t kZCMVersion = 38;

// The tag table. Tags 5 and 6 and every tag from 9 up name no message.
enum ZCMTag : int8_t {
  kZCMTagHeartbeatPing = 0,
  kZCMTagHeartbeatAck = 1,
  kZCMTagLoginRequest = 2,
  kZCMTagLoginResponse = 3,
  kZCMTagClose = 4,
  kZCMTagIqStanza = 7,
  kZCMTagDataMessageStanza = 8,
};

// Ids carried in an IQ stanza's extension: its data is a serialized DudevSelectiveAck, or empty.
inline constexpr int32_t kZCMSelectiveAckExtensionId = 12;
inline constexpr int32_t kZCMStreamAckExtensionId = 13;

// The message's tag from the table; -1 for a message that is never framed by itself.
int8_t ZCMGetTagForProto(const google::protobuf::MessageLite& proto);

// The message type of a tag, as its default instance (New() makes one to parse into); null for a
// tag without a message type.
const google::protobuf::MessageLite* ZCMGetClassForTag(int8_t tag);

// persistentId of an IQ or data message stanza when set; nothing for an unset field and every
// other message type.
std::optional<std::string> ZCMGetPersistentIdForProto(const google::protobuf::MessageLite& proto);
// Sets persistentId on an IQ or data message stanza; other messages are left unchanged.
void ZCMSetPersistentIdForProto(google::protobuf::MessageLite& proto,
                                const std::string& persistentId);

// lastStreamIdReceived of an IQ stanza, data message stanza, heartbeat ping or heartbeat ack
// when set; -1 when unset and for every other message type (a login response included).
int32_t ZCMGetLastStreamIdReceivedFromProto(const google::protobuf::MessageLite& proto);
// Sets lastStreamIdReceived on those four message types; others are left unchanged.
void ZCMSetLastStreamIdReceivedInProto(google::protobuf::MessageLite& proto, int32_t streamId);
