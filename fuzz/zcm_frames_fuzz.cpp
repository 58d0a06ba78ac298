// Arbitrary bytes as a messaging stream, cut into reads at split points the input chooses: the
// frames must be the same whatever the cuts, the reassembler must never read past what it was
// given, and its buffer must stay within the frame limit.
#include <cstdlib>
#include <vector>

#include "messaging/wire/frame_reassembler.h"

namespace {

// Frames of the whole stream in one read, and whether it ended in a protocol error.
bool reassemble(std::string_view stream, const std::vector<size_t>& cuts,
                std::vector<ZCMFrame>* frames) {
  ZCMFrameReassembler reassembler;
  size_t start = 0;
  for (size_t cut : cuts) {
    if (!reassembler.feed(stream.substr(start, cut - start), frames)) return false;
    start = cut;
  }
  bool ok = reassembler.feed(stream.substr(start), frames);
  if (reassembler.capacity() > kZCMMaxFrameSize) abort();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte seeds the cut points; the rest is the stream.
  const uint8_t seed = data[0];
  std::vector<char> exact(data + 1, data + size);
  std::string_view stream(exact.data(), exact.size());

  std::vector<ZCMFrame> whole;
  const bool wholeOk = reassemble(stream, {}, &whole);

  std::vector<size_t> cuts;
  for (size_t at = seed % 7 + 1; at < stream.size(); at += (at * 31 + seed) % 13 + 1) {
    cuts.push_back(at);
  }
  std::vector<ZCMFrame> cut;
  const bool cutOk = reassemble(stream, cuts, &cut);

  if (wholeOk != cutOk || whole.size() != cut.size()) abort();
  for (size_t i = 0; i < whole.size(); ++i) {
    if (whole[i].tag != cut[i].tag || whole[i].data != cut[i].data) abort();
  }
  return 0;
}
