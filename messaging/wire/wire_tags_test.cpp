#include "messaging/wire/wire_tags.h"

#include <gtest/gtest.h>

#include <memory>

#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/dudev_extensions.pb.h"

namespace {

using google::protobuf::MessageLite;

TEST(WireTagsTest, EveryFramedMessageHasItsTagAndBack) {
  const std::pair<std::shared_ptr<MessageLite>, int8_t> table[] = {
      {std::make_shared<DudevHeartbeatPing>(), 0},
      {std::make_shared<DudevHeartbeatAck>(), 1},
      {std::make_shared<DudevLoginRequest>(), 2},
      {std::make_shared<DudevLoginResponse>(), 3},
      {std::make_shared<DudevClose>(), 4},
      {std::make_shared<DudevIqStanza>(), 7},
      {std::make_shared<DudevDataMessageStanza>(), 8},
  };
  for (const auto& [message, tag] : table) {
    SCOPED_TRACE(message->GetTypeName());
    EXPECT_EQ(ZCMGetTagForProto(*message), tag);
    ASSERT_NE(ZCMGetClassForTag(tag), nullptr);
    EXPECT_EQ(ZCMGetClassForTag(tag)->GetTypeName(), message->GetTypeName());
  }
}

TEST(WireTagsTest, MessagesNeverFramedAloneAndUnknownTagsHaveNone) {
  EXPECT_EQ(ZCMGetTagForProto(DudevSelectiveAck()), -1);
  EXPECT_EQ(ZCMGetTagForProto(DudevSetting()), -1);
  EXPECT_EQ(ZCMGetTagForProto(DudevAppData()), -1);
  EXPECT_EQ(ZCMGetTagForProto(DudevExtension()), -1);
  for (int8_t tag : {5, 6, 9, 100, 127, -1, -128}) {
    EXPECT_EQ(ZCMGetClassForTag(tag), nullptr) << int(tag);
  }
}

TEST(WireTagsTest, PersistentIdIsReadAndSetOnStanzasOnly) {
  DudevDataMessageStanza data;
  EXPECT_EQ(ZCMGetPersistentIdForProto(data), std::nullopt) << "never set is nothing, not \"\"";
  ZCMSetPersistentIdForProto(data, "");
  EXPECT_EQ(ZCMGetPersistentIdForProto(data), "");
  ZCMSetPersistentIdForProto(data, "42");
  EXPECT_EQ(data.persistent_id(), "42");
  EXPECT_EQ(ZCMGetPersistentIdForProto(data), "42");

  DudevIqStanza iq;
  ZCMSetPersistentIdForProto(iq, "0:abc");
  EXPECT_EQ(ZCMGetPersistentIdForProto(iq), "0:abc");

  DudevHeartbeatPing ping;
  ZCMSetPersistentIdForProto(ping, "7");
  EXPECT_EQ(ZCMGetPersistentIdForProto(ping), std::nullopt);
  EXPECT_EQ(ping.ByteSizeLong(), 0u);
}

TEST(WireTagsTest, LastStreamIdReceivedOnTheFourTypesThatCarryIt) {
  DudevIqStanza iq;
  DudevDataMessageStanza data;
  DudevHeartbeatPing ping;
  DudevHeartbeatAck ack;
  for (MessageLite* message : std::initializer_list<MessageLite*>{&iq, &data, &ping, &ack}) {
    SCOPED_TRACE(message->GetTypeName());
    EXPECT_EQ(ZCMGetLastStreamIdReceivedFromProto(*message), -1);
    ZCMSetLastStreamIdReceivedInProto(*message, 0);
    EXPECT_EQ(ZCMGetLastStreamIdReceivedFromProto(*message), 0);
    ZCMSetLastStreamIdReceivedInProto(*message, 17);
    EXPECT_EQ(ZCMGetLastStreamIdReceivedFromProto(*message), 17);
  }

  DudevLoginResponse response;
  response.set_last_stream_id_received(5);
  EXPECT_EQ(ZCMGetLastStreamIdReceivedFromProto(response), -1);
  ZCMSetLastStreamIdReceivedInProto(response, 9);
  EXPECT_EQ(response.last_stream_id_received(), 5);
  DudevLoginRequest request;
  ZCMSetLastStreamIdReceivedInProto(request, 9);
  EXPECT_EQ(request.ByteSizeLong(), 0u);
}

}  // namespace
