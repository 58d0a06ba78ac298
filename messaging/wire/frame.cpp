#include "messaging/wire/frame.h"

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/message_lite.h>

#include <algorithm>

#include "messaging/wire/coded_input_stream.h"
#include "messaging/wire/wire_tags.h"

using google::protobuf::io::CodedOutputStream;

std::string ZCMEncodeFrame(int8_t tag, std::string_view data) {
  const auto tagValue = static_cast<uint32_t>(static_cast<uint8_t>(tag));
  const auto length = static_cast<uint32_t>(data.size());
  std::string frame(CodedOutputStream::VarintSize32(tagValue) +
                        CodedOutputStream::VarintSize32(length) + data.size(),
                    '\0');
  auto* out = reinterpret_cast<uint8_t*>(frame.data());
  out = CodedOutputStream::WriteVarint32ToArray(tagValue, out);
  out = CodedOutputStream::WriteVarint32ToArray(length, out);
  std::copy(data.begin(), data.end(), out);
  return frame;
}

std::string ZCMEncodeFrame(const google::protobuf::MessageLite& message) {
  const auto tagValue = static_cast<uint32_t>(static_cast<uint8_t>(ZCMGetTagForProto(message)));
  const size_t size = message.ByteSizeLong();
  const auto length = static_cast<uint32_t>(size);
  std::string frame(
      CodedOutputStream::VarintSize32(tagValue) + CodedOutputStream::VarintSize32(length) + size,
      '\0');
  auto* out = reinterpret_cast<uint8_t*>(frame.data());
  out = CodedOutputStream::WriteVarint32ToArray(tagValue, out);
  out = CodedOutputStream::WriteVarint32ToArray(length, out);
  message.SerializeWithCachedSizesToArray(out);
  return frame;
}

ZCMFrameExtraction ZCMExtractFrame(std::string_view bytes) {
  ZCMFrameExtraction extraction;
  ZCMCodedInputStream input(bytes);
  int8_t tag = 0;
  if (!input.readTag(&tag)) return extraction;
  if (tag < 0) {
    extraction.status = ZCMFrameExtraction::kProtocolError;
    return extraction;
  }
  int32_t length = 0;
  switch (input.readLength(&length)) {
    case ZCMCodedInputStream::Read::kEndOfData:
      return extraction;
    case ZCMCodedInputStream::Read::kMalformed:
      extraction.status = ZCMFrameExtraction::kProtocolError;
      return extraction;
    case ZCMCodedInputStream::Read::kOk:
      break;
  }
  if (length < 0 || input.offset() + static_cast<uint64_t>(length) > kZCMMaxFrameSize) {
    extraction.status = ZCMFrameExtraction::kProtocolError;
    return extraction;
  }
  std::optional<std::string_view> data = input.readDataWithLength(static_cast<uint32_t>(length));
  if (!data) return extraction;
  extraction.status = ZCMFrameExtraction::kFrame;
  extraction.tag = tag;
  extraction.data = *data;
  extraction.consumed = input.offset();
  return extraction;
}

namespace {

// Parsed in two steps so that a frame missing required fields is dropped without a library log.
// Parsing clears the message first, so a reused one keeps nothing of its last frame.
bool parseInto(google::protobuf::MessageLite& message, std::string_view data) {
  return message.ParsePartialFromArray(data.data(), static_cast<int>(data.size())) &&
         message.IsInitialized();
}

}  // namespace

std::unique_ptr<google::protobuf::MessageLite> ZCMParseFrame(int8_t tag, std::string_view data) {
  const google::protobuf::MessageLite* type = ZCMGetClassForTag(tag);
  if (!type) return nullptr;
  std::unique_ptr<google::protobuf::MessageLite> message(type->New());
  if (!parseInto(*message, data)) return nullptr;
  return message;
}

ZCMFrameParser::ZCMFrameParser() = default;
ZCMFrameParser::~ZCMFrameParser() = default;

void ZCMFrameParser::GiveBack::operator()(google::protobuf::MessageLite* message) const {
  std::unique_ptr<google::protobuf::MessageLite> owned(message);
  if (!keep || parser == nullptr) return;
  std::unique_ptr<google::protobuf::MessageLite>& spare = parser->spare_[static_cast<size_t>(tag)];
  if (!spare) spare = std::move(owned);
}

ZCMFrameParser::Parsed ZCMFrameParser::parse(int8_t tag, std::string_view data) {
  const google::protobuf::MessageLite* type = ZCMGetClassForTag(tag);
  if (!type) return Parsed(nullptr, GiveBack{});
  const auto slot = static_cast<size_t>(tag);
  const bool reusable = slot < spare_.size();
  Parsed message(reusable && spare_[slot] ? spare_[slot].release() : type->New(),
                 GiveBack{this, tag, reusable && data.size() <= kReusedFrameLimit});
  if (!parseInto(*message, data)) return Parsed(nullptr, GiveBack{});
  return message;
}
