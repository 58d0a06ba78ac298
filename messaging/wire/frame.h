#pragma once

// A frame on the messaging stream: the tag as a varint, the message length as a varint, the
// serialized message.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace google::protobuf {
class Message;
}

// The largest frame (header included) a peer may send: a receiver holds at most this much of one
// unfinished frame.
inline constexpr size_t kZCMMaxFrameSize = 1048576;

struct ZCMFrame {
  int8_t tag = -1;
  std::string data;  // the serialized message
};

// The frame's bytes for a tag (0 to 127) and a serialized message.
std::string ZCMEncodeFrame(int8_t tag, std::string_view data);
// The frame of a message of the tag table, serialized in place.
std::string ZCMEncodeFrame(const google::protobuf::Message& message);

struct ZCMFrameExtraction {
  enum Status {
    kFrame,
    kIncomplete,     // a frame has begun but more bytes are needed
    kProtocolError,  // the bytes can never form a frame: the stream is unusable
  };
  Status status = kIncomplete;
  // With kFrame: the tag, the serialized message (a view into the bytes extracted from) and the
  // bytes the frame took from the front.
  int8_t tag = -1;
  std::string_view data;
  size_t consumed = 0;
};

// The first frame at the front of the bytes (its data a view into them: keep them alive). A tag
// with the top bit set, a negative length, a length varint of more than ten bytes, or a frame
// larger than kZCMMaxFrameSize is a protocol error; nothing past the end of the bytes is read.
ZCMFrameExtraction ZCMExtractFrame(std::string_view bytes);
ZCMFrameExtraction ZCMExtractFrame(std::string&& bytes) = delete;  // the view would dangle

// The message of a frame: a new message of the tag's type parsed from the data; null for a tag
// without a message type or bytes that don't parse (required fields missing included).
std::unique_ptr<google::protobuf::Message> ZCMParseFrame(int8_t tag, std::string_view data);
