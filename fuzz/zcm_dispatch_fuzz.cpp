// A tag byte and arbitrary message bytes, as a peer's frame: parsing by the tag table must end
// with a message or none, the id and stream-position accessors must work on whatever parsed, and
// a parsed message must survive a round trip through its own frame.
#include <google/protobuf/message_lite.h>

#include <cstdlib>
#include <memory>

#include "messaging/wire/frame.h"
#include "messaging/wire/wire_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto tag = static_cast<int8_t>(data[0] & 0x7F);
  std::unique_ptr<google::protobuf::MessageLite> message =
      ZCMParseFrame(tag, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  if (!message) return 0;
  if (ZCMGetTagForProto(*message) != tag) abort();
  (void)ZCMGetPersistentIdForProto(*message);
  const int32_t streamId = ZCMGetLastStreamIdReceivedFromProto(*message);
  ZCMSetLastStreamIdReceivedInProto(*message, streamId);
  ZCMSetPersistentIdForProto(*message, "1");

  const std::string frame = ZCMEncodeFrame(*message);
  ZCMFrameExtraction again = ZCMExtractFrame(frame);
  if (again.status != ZCMFrameExtraction::kFrame || !ZCMParseFrame(again.tag, again.data)) abort();
  return 0;
}
