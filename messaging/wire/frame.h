#pragma once

// A frame on the messaging stream: the tag as a varint, the message length as a varint, the
// serialized message.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace google::protobuf {
class MessageLite;
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
std::string ZCMEncodeFrame(const google::protobuf::MessageLite& message);

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
std::unique_ptr<google::protobuf::MessageLite> ZCMParseFrame(int8_t tag, std::string_view data);

// Parses frames as ZCMParseFrame does, into messages kept from one frame to the next, so that a
// stream of frames reuses their memory instead of making and freeing a message per frame. One
// message per tag waits for reuse; a frame parsed while that one is still held (from a nested
// call) gets its own. Messages of large frames are not kept, so their memory goes with them.
// Not thread-safe: one reader owns it, and it must outlive the messages it hands out.
class ZCMFrameParser {
 public:
  // Frames up to this size leave their message for the next frame of the tag.
  static constexpr size_t kReusedFrameLimit = 16384;

  // Hands a message back to its parser for reuse (or deletes it).
  struct GiveBack {
    ZCMFrameParser* parser = nullptr;
    int8_t tag = -1;
    bool keep = false;
    void operator()(google::protobuf::MessageLite* message) const;
  };
  using Parsed = std::unique_ptr<google::protobuf::MessageLite, GiveBack>;

  ZCMFrameParser();
  ~ZCMFrameParser();
  ZCMFrameParser(const ZCMFrameParser&) = delete;
  ZCMFrameParser& operator=(const ZCMFrameParser&) = delete;

  // Null for a tag without a message type or bytes that don't parse, as ZCMParseFrame.
  Parsed parse(int8_t tag, std::string_view data);

 private:
  // Indexed by tag; tags past the table name no message.
  std::array<std::unique_ptr<google::protobuf::MessageLite>, 16> spare_;
};
