#include "messaging/wire/frame.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "messaging/wire/coded_input_stream.h"
#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/dudev_extensions.pb.h"
#include "messaging/wire/frame_reassembler.h"
#include "messaging/wire/wire_tags.h"
#include "platform/foundation/crypto.h"

namespace {

using google::protobuf::MessageLite;

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int value : values) out.push_back(static_cast<char>(value));
  return out;
}

// Every framed message type with its fields filled as a peer would send them.
std::vector<std::unique_ptr<MessageLite>> sampleMessages() {
  std::vector<std::unique_ptr<MessageLite>> messages;

  auto ping = std::make_unique<DudevHeartbeatPing>();
  ping->set_stream_id(3);
  ping->set_last_stream_id_received(2);
  ping->set_status(-1);
  messages.push_back(std::move(ping));
  messages.push_back(std::make_unique<DudevHeartbeatAck>());

  auto login = std::make_unique<DudevLoginRequest>();
  login->set_id("ios-1.1.0");
  login->set_domain("mcs.example.test");
  login->set_user("4242");
  login->set_resource("4242");
  login->set_auth_token("9999");
  login->set_device_id("android-1092");
  login->set_last_rmq_id(1);
  auto* setting = login->add_setting();
  setting->set_name("new_vc");
  setting->set_value("1");
  login->add_received_persistent_id("0:1");
  login->add_received_persistent_id("0:2");
  login->set_adaptive_heartbeat(false);
  login->set_use_rmq2(true);
  login->set_account_id(1000000);
  login->set_auth_service(DudevLoginRequest::AUTH_SERVICE_2);
  login->set_network_type(1);
  login->set_zcm_start_time_ms(1457000000000ULL);
  messages.push_back(std::move(login));

  auto response = std::make_unique<DudevLoginResponse>();
  response->set_id("r1");
  response->mutable_error()->set_code(401);
  response->mutable_error()->mutable_extension()->set_id(1);
  response->mutable_error()->mutable_extension()->set_data("x");
  response->set_stream_id(1);
  response->set_server_timestamp(1457000000123);
  messages.push_back(std::move(response));
  messages.push_back(std::make_unique<DudevClose>());

  auto iq = std::make_unique<DudevIqStanza>();
  iq->set_type(DudevIqStanza::IQ_TYPE_1);
  iq->set_id("");
  iq->mutable_extension()->set_id(kZCMSelectiveAckExtensionId);
  DudevSelectiveAck selectiveAck;
  selectiveAck.add_id("0:1");
  selectiveAck.add_id(std::string(200, 'p'));  // a length varint of two bytes
  iq->mutable_extension()->set_data(selectiveAck.SerializeAsString());
  iq->set_persistent_id("1");
  iq->set_last_stream_id_received(4);
  messages.push_back(std::move(iq));

  auto data = std::make_unique<DudevDataMessageStanza>();
  data->set_rmq_id(2);
  data->set_from("com.example.app");
  data->set_category("com.example.app");
  auto* appData = data->add_app_data();
  appData->set_key("zorova.msg_id");
  appData->set_value("m1");
  data->set_raw_data(bytes({0, 0xFF, 0x80, 0x26}));
  data->set_ttl(60);
  data->set_immediate_ack(true);
  data->set_flags(1LL << 40);
  messages.push_back(std::move(data));
  return messages;
}

std::string hexOf(const std::string& bytes) {
  return platform::hexString(platform::Bytes(bytes.begin(), bytes.end()));
}

// Equal messages of one type serialise to the same bytes: fields are written in number order.
::testing::AssertionResult sameMessage(const MessageLite& actual, const MessageLite& expected) {
  if (actual.GetTypeName() != expected.GetTypeName()) {
    return ::testing::AssertionFailure()
           << actual.GetTypeName() << " is not " << expected.GetTypeName();
  }
  const std::string actualBytes = actual.SerializePartialAsString();
  const std::string expectedBytes = expected.SerializePartialAsString();
  if (actualBytes != expectedBytes) {
    return ::testing::AssertionFailure()
           << hexOf(actualBytes) << " is not " << hexOf(expectedBytes);
  }
  return ::testing::AssertionSuccess();
}

std::string streamOf(const std::vector<std::unique_ptr<MessageLite>>& messages) {
  std::string stream;
  for (const auto& message : messages) {
    stream += ZCMEncodeFrame(ZCMGetTagForProto(*message), message->SerializeAsString());
  }
  return stream;
}

void expectSameMessages(const std::vector<ZCMFrame>& frames,
                        const std::vector<std::unique_ptr<MessageLite>>& messages) {
  ASSERT_EQ(frames.size(), messages.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].tag, ZCMGetTagForProto(*messages[i]));
    std::unique_ptr<MessageLite> parsed = ZCMParseFrame(frames[i].tag, frames[i].data);
    ASSERT_NE(parsed, nullptr) << i;
    EXPECT_TRUE(sameMessage(*parsed, *messages[i])) << i;
  }
}

TEST(FrameTest, EmptyMessagesAndLengthVarintsHaveTheirExactBytes) {
  EXPECT_EQ(ZCMEncodeFrame(kZCMTagHeartbeatPing, DudevHeartbeatPing().SerializeAsString()),
            bytes({0, 0}));
  EXPECT_EQ(ZCMEncodeFrame(kZCMTagClose, ""), bytes({4, 0}));
  EXPECT_EQ(ZCMEncodeFrame(kZCMTagDataMessageStanza, std::string(300, 'a')).substr(0, 3),
            bytes({8, 0xAC, 0x02}));
}

TEST(FrameTest, MessagesOfBothDirectionsHaveTheirExactBytes) {
  // Servers read these bytes, and the store keeps outgoing messages in them: a login request as
  // the client sends it and a data message stanza as either side sends it.
  auto messages = sampleMessages();
  EXPECT_EQ(hexOf(ZCMEncodeFrame(*messages[2])),
            "026c0a09696f732d312e312e3012106d63732e6578616d706c652e746573741a0434323432220434"
            "3234322a0439393939320c616e64726f69642d313039323801420b0a066e65775f76631201315203"
            "303a315203303a326000700178c0843d800102880101a80180d4dedfb32a");
  EXPECT_EQ(hexOf(ZCMEncodeFrame(*messages[6])),
            "084e08021a0f636f6d2e6578616d706c652e6170702a0f636f6d2e6578616d706c652e6170703a13"
            "0a0d7a6f726f76612e6d73675f696412026d3188013caa010400ff8026c00101d801808080808020");
}

TEST(FrameTest, EveryMessageTypeRoundTripsThroughAFrame) {
  auto messages = sampleMessages();
  for (const auto& message : messages) {
    SCOPED_TRACE(message->GetTypeName());
    const std::string frame = ZCMEncodeFrame(*message);
    EXPECT_EQ(frame, ZCMEncodeFrame(ZCMGetTagForProto(*message), message->SerializeAsString()));
    ZCMFrameExtraction extraction = ZCMExtractFrame(frame);
    ASSERT_EQ(extraction.status, ZCMFrameExtraction::kFrame);
    std::unique_ptr<MessageLite> parsed = ZCMParseFrame(extraction.tag, extraction.data);
    ASSERT_NE(parsed, nullptr);
    EXPECT_TRUE(sameMessage(*parsed, *message));
  }
  // The selective acknowledgement travels inside the IQ stanza's text field and reads back.
  const auto& iq = static_cast<const DudevIqStanza&>(*messages[5]);
  DudevSelectiveAck selectiveAck;
  ASSERT_TRUE(selectiveAck.ParseFromString(iq.extension().data()));
  EXPECT_EQ(selectiveAck.id_size(), 2);
}

TEST(FrameTest, FramesThatDoNotParseAsTheirTagsTypeGiveNoMessage) {
  EXPECT_EQ(ZCMParseFrame(5, ""), nullptr) << "tag without a type";
  // A data message stanza needs "from" and "category".
  DudevDataMessageStanza partial;
  partial.set_from("x");
  EXPECT_EQ(ZCMParseFrame(kZCMTagDataMessageStanza, partial.SerializePartialAsString()), nullptr);
  EXPECT_EQ(ZCMParseFrame(kZCMTagHeartbeatAck, bytes({0x0A, 0x05, 'a'})), nullptr)
      << "field longer than the bytes";
  // An IQ type outside 0-3 leaves the required field unset.
  EXPECT_EQ(ZCMParseFrame(kZCMTagIqStanza, bytes({0x10, 0x09, 0x1A, 0x00})), nullptr);
  EXPECT_NE(ZCMParseFrame(kZCMTagIqStanza, bytes({0x10, 0x03, 0x1A, 0x00})), nullptr);
}

TEST(FrameTest, AParserThatReusesMessagesGivesWhatAFreshParseGives) {
  // Each sample, then each again after a frame of its tag that is empty or fails: nothing of the
  // frame before may show in the next message.
  ZCMFrameParser parser;
  for (const auto& message : sampleMessages()) {
    SCOPED_TRACE(message->GetTypeName());
    const int8_t tag = ZCMGetTagForProto(*message);
    const std::string data = message->SerializeAsString();
    for (const std::string& before : {data, std::string(), bytes({0x0A, 0x05, 'a'})}) {
      (void)parser.parse(tag, before);
      const ZCMFrameParser::Parsed parsed = parser.parse(tag, data);
      ASSERT_NE(parsed, nullptr);
      EXPECT_TRUE(sameMessage(*parsed, *message));
    }
  }
  DudevDataMessageStanza second;
  second.set_from("b");
  second.set_category("c");
  const ZCMFrameParser::Parsed withFields =
      parser.parse(kZCMTagDataMessageStanza, sampleMessages().back()->SerializeAsString());
  // A frame parsed while the last message of its tag is still held gets one of its own.
  const ZCMFrameParser::Parsed nested =
      parser.parse(kZCMTagDataMessageStanza, second.SerializeAsString());
  ASSERT_NE(withFields, nullptr);
  ASSERT_NE(nested, nullptr);
  EXPECT_NE(withFields.get(), nested.get());
  EXPECT_TRUE(sameMessage(*withFields, *sampleMessages().back()));
  EXPECT_TRUE(sameMessage(*nested, second));
  EXPECT_EQ(parser.parse(5, ""), nullptr) << "tag without a type";
  DudevDataMessageStanza partial;
  partial.set_from("x");
  EXPECT_EQ(parser.parse(kZCMTagDataMessageStanza, partial.SerializePartialAsString()), nullptr)
      << "required fields missing";
}

// The status and size of the first frame of bytes held in a buffer of exactly their size, so a
// read past the end is caught by ASan.
std::pair<ZCMFrameExtraction::Status, size_t> extractExact(const std::string& stream) {
  std::vector<char> exact(stream.begin(), stream.end());
  ZCMFrameExtraction extraction = ZCMExtractFrame(std::string_view(exact.data(), exact.size()));
  return {extraction.status, extraction.consumed};
}

TEST(FrameTest, LengthVarintsUpToTenBytesKeepTheirLow32Bits) {
  int32_t length = 0;
  const std::string tenBytes = bytes({0x85, 0x80, 0x80, 0x80, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});
  ZCMCodedInputStream input(tenBytes);
  ASSERT_EQ(input.readLength(&length), ZCMCodedInputStream::Read::kOk);
  EXPECT_EQ(length, 5) << "bits past the 32nd fall off";
  EXPECT_EQ(input.offset(), 10u);

  const std::string elevenBytes =
      bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00});
  ZCMCodedInputStream tooLong(elevenBytes);
  EXPECT_EQ(tooLong.readLength(&length), ZCMCodedInputStream::Read::kMalformed);
  EXPECT_EQ(tooLong.offset(), 10u) << "stops after the tenth byte";

  const std::string cutBytes = bytes({0xAC});
  ZCMCodedInputStream cut(cutBytes);
  EXPECT_EQ(cut.readLength(&length), ZCMCodedInputStream::Read::kEndOfData);
  EXPECT_EQ(cut.offset(), 1u);

  ZCMCodedInputStream empty{std::string_view()};
  int8_t tag = 0;
  EXPECT_FALSE(empty.readTag(&tag));
  EXPECT_EQ(empty.readDataWithLength(1), std::nullopt);
  EXPECT_EQ(empty.offset(), 0u);
}

TEST(FrameTest, BadHeadersAreProtocolErrorsAndCutFramesIncomplete) {
  struct Case {
    const char* name;
    std::string stream;
    ZCMFrameExtraction::Status status;
  };
  const Case cases[] = {
      {"nothing yet", "", ZCMFrameExtraction::kIncomplete},
      {"tag alone", bytes({8}), ZCMFrameExtraction::kIncomplete},
      {"length cut in its varint", bytes({8, 0xAC}), ZCMFrameExtraction::kIncomplete},
      {"message cut", bytes({8, 3, 'a', 'b'}), ZCMFrameExtraction::kIncomplete},
      {"tag with the top bit", bytes({0x80, 0}), ZCMFrameExtraction::kProtocolError},
      {"tag with the top bit, nothing after", bytes({0xFF}), ZCMFrameExtraction::kProtocolError},
      {"negative length", bytes({8, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}),
       ZCMFrameExtraction::kProtocolError},
      {"length of ten continuing bytes",
       bytes({8, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}),
       ZCMFrameExtraction::kProtocolError},
      {"length past the frame limit", bytes({8, 0xFE, 0xFF, 0x3F}),
       ZCMFrameExtraction::kProtocolError},
      {"unknown tag is still a frame", bytes({6, 1, 'x'}), ZCMFrameExtraction::kFrame},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extractExact(c.stream).first, c.status) << c.name;
  }
}

TEST(FrameTest, TheLargestFrameFitsAndOneByteMoreIsRefused) {
  const std::string header = bytes({8, 0xFC, 0xFF, 0x3F});  // 1048572 bytes follow
  std::string largest = header + std::string(kZCMMaxFrameSize - header.size(), 'd');
  ASSERT_EQ(largest.size(), kZCMMaxFrameSize);
  EXPECT_EQ(extractExact(largest), std::make_pair(ZCMFrameExtraction::kFrame, kZCMMaxFrameSize));

  ZCMFrameReassembler reassembler;
  std::vector<ZCMFrame> frames;
  ASSERT_TRUE(reassembler.feed(largest, &frames));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data.size(), kZCMMaxFrameSize - header.size());
  EXPECT_LE(reassembler.capacity(), kZCMMaxFrameSize);

  EXPECT_EQ(extractExact(bytes({8, 0xFD, 0xFF, 0x3F})).first, ZCMFrameExtraction::kProtocolError);
}

TEST(FrameTest, ReassemblyDeliversTheSameFramesAtEverySplitOfTheStream) {
  auto messages = sampleMessages();
  const std::string stream = streamOf(messages);
  for (size_t first = 0; first <= stream.size(); ++first) {
    for (size_t second = first; second <= stream.size(); ++second) {
      ZCMFrameReassembler reassembler;
      std::vector<ZCMFrame> frames;
      ASSERT_TRUE(reassembler.feed(stream.substr(0, first), &frames));
      ASSERT_TRUE(reassembler.feed(stream.substr(first, second - first), &frames));
      ASSERT_TRUE(reassembler.feed(stream.substr(second), &frames));
      ASSERT_EQ(frames.size(), messages.size()) << first << " " << second;
      EXPECT_EQ(reassembler.bufferedLength(), 0u);
    }
  }
  ZCMFrameReassembler reassembler;
  std::vector<ZCMFrame> frames;
  ASSERT_TRUE(reassembler.feed(stream, &frames));
  expectSameMessages(frames, messages);
}

TEST(FrameTest, ReassemblyGrowsForLargeFramesOneByteAtATimeAndKeepsAPartialTail) {
  DudevDataMessageStanza large;
  large.set_from("f");
  large.set_category("c");
  large.set_raw_data(std::string(40000, 'r'));
  std::vector<std::unique_ptr<MessageLite>> messages;
  messages.push_back(std::make_unique<DudevHeartbeatAck>());
  messages.push_back(std::make_unique<DudevDataMessageStanza>(large));
  messages.push_back(std::make_unique<DudevClose>());
  const std::string stream = streamOf(messages);

  ZCMFrameReassembler reassembler;
  std::vector<ZCMFrame> frames;
  for (char byte : stream) ASSERT_TRUE(reassembler.feed(std::string_view(&byte, 1), &frames));
  expectSameMessages(frames, messages);
  EXPECT_EQ(reassembler.capacity(), 3 * ZCMFrameReassembler::kCapacityStep);

  // Two whole frames and the start of a third: the third's bytes wait at the front.
  ZCMFrameReassembler tail;
  frames.clear();
  const std::string ping = ZCMEncodeFrame(kZCMTagHeartbeatPing, "");
  ASSERT_TRUE(tail.feed(ping + ping + bytes({8, 5, 'a'}), &frames));
  EXPECT_EQ(frames.size(), 2u);
  EXPECT_EQ(tail.bufferedLength(), 3u);
  ASSERT_TRUE(tail.feed("bcde", &frames));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2].data, "abcde");
}

TEST(FrameTest, ReassemblyStopsAtAProtocolErrorAfterTheFramesBeforeIt) {
  ZCMFrameReassembler reassembler;
  std::vector<ZCMFrame> frames;
  EXPECT_FALSE(reassembler.feed(ZCMEncodeFrame(kZCMTagClose, "") + bytes({0x90, 0}), &frames));
  EXPECT_EQ(frames.size(), 1u);
}

}  // namespace
