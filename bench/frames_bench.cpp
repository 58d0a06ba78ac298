// frames: encode 100k data-message frames into one stream and decode them back, through the
// messaging wire format (tag table, frame encoding, reassembly, parsing by tag) vs the same
// protobuf calls written plainly (coded streams over one string).
#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>

#include <vector>

#include "bench/bench_report.h"
#include "messaging/wire/dudev_core.pb.h"
#include "messaging/wire/frame.h"
#include "messaging/wire/frame_reassembler.h"
#include "messaging/wire/wire_tags.h"

namespace {

using google::protobuf::io::CodedInputStream;
using google::protobuf::io::CodedOutputStream;
using google::protobuf::io::StringOutputStream;

constexpr int kFrames = 100000;

std::vector<DudevDataMessageStanza> sampleMessages() {
  std::vector<DudevDataMessageStanza> messages(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    DudevDataMessageStanza& message = messages[i];
    message.set_from("com.example.app");
    message.set_category("com.example.app");
    message.set_persistent_id(std::to_string(i + 2));
    message.set_ttl(60);
    auto* data = message.add_app_data();
    data->set_key("zorova.msg_id");
    data->set_value("m" + std::to_string(i));
    message.set_raw_data(std::string(64 + i % 64, 'r'));
  }
  return messages;
}

size_t oursRoundTrip(const std::vector<DudevDataMessageStanza>& messages) {
  std::string stream;
  for (const auto& message : messages) stream += ZCMEncodeFrame(message);
  // Received as a socket would: reads of up to the buffer's free space, frames pulled after each.
  ZCMFrameReassembler reassembler;
  size_t parsed = 0;
  std::string_view unread = stream;
  while (!unread.empty()) {
    std::span<char> space = reassembler.spaceForRead();
    const size_t count = std::min(space.size(), unread.size());
    std::copy_n(unread.begin(), count, space.begin());
    reassembler.didRead(count);
    unread.remove_prefix(count);
    for (ZCMFrameExtraction next = reassembler.nextFrame();
         next.status == ZCMFrameExtraction::kFrame; next = reassembler.nextFrame()) {
      parsed += ZCMParseFrame(next.tag, next.data) != nullptr;
    }
  }
  return parsed;
}

size_t plainRoundTrip(const std::vector<DudevDataMessageStanza>& messages) {
  std::string stream;
  {
    StringOutputStream output(&stream);
    CodedOutputStream coded(&output);
    for (const auto& message : messages) {
      coded.WriteVarint32(kZCMTagDataMessageStanza);
      coded.WriteVarint32(static_cast<uint32_t>(message.ByteSizeLong()));
      message.SerializeWithCachedSizes(&coded);
    }
  }
  CodedInputStream input(reinterpret_cast<const uint8_t*>(stream.data()),
                         static_cast<int>(stream.size()));
  size_t parsed = 0;
  uint32_t tag = 0;
  uint32_t length = 0;
  while (input.ReadVarint32(&tag) && input.ReadVarint32(&length)) {
    const CodedInputStream::Limit limit = input.PushLimit(static_cast<int>(length));
    DudevDataMessageStanza message;
    parsed += message.ParseFromCodedStream(&input);
    input.PopLimit(limit);
  }
  return parsed;
}

}  // namespace

int main() {
  const std::vector<DudevDataMessageStanza> messages = sampleMessages();
  if (oursRoundTrip(messages) != kFrames || plainRoundTrip(messages) != kFrames) return 1;
  const bench::Medians medians = bench::medianSecondsInTurns([&] { oursRoundTrip(messages); },
                                                             [&] { plainRoundTrip(messages); });
  bench::report("frames", medians.ours * 1000, medians.baseline * 1000, "ms");
  return 0;
}
