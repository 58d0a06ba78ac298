// base64: encode and decode 16 MB with ZSDK_ZTMStringEncoding vs a plain table-driven loop.
#include <array>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "toolbox/encoding/string_encoding.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string plainEncode(const std::vector<uint8_t>& in) {
  std::string out((in.size() + 2) / 3 * 4, '=');
  size_t o = 0, i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const uint32_t n = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    out[o++] = kAlphabet[n >> 18];
    out[o++] = kAlphabet[(n >> 12) & 63];
    out[o++] = kAlphabet[(n >> 6) & 63];
    out[o++] = kAlphabet[n & 63];
  }
  if (i < in.size()) {
    uint32_t n = uint32_t{in[i]} << 16;
    if (i + 1 < in.size()) n |= uint32_t{in[i + 1]} << 8;
    out[o++] = kAlphabet[n >> 18];
    out[o++] = kAlphabet[(n >> 12) & 63];
    if (i + 1 < in.size()) out[o] = kAlphabet[(n >> 6) & 63];
  }
  return out;
}

std::optional<std::vector<uint8_t>> plainDecode(const std::string& in) {
  static const std::array<int8_t, 256> table = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return t;
  }();
  size_t length = in.size();
  while (length > 0 && in[length - 1] == '=') --length;
  std::vector<uint8_t> out(length * 3 / 4);
  size_t o = 0;
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < length; ++i) {
    const int8_t v = table[static_cast<uint8_t>(in[i])];
    if (v < 0) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out[o++] = static_cast<uint8_t>(acc >> bits);
    }
  }
  out.resize(o);
  return out;
}
}  // namespace

int main() {
  std::vector<uint8_t> input(size_t{16} << 20);
  std::mt19937 random(5);
  for (uint8_t& b : input) b = static_cast<uint8_t>(random());
  const ZSDK_ZTMStringEncoding coder = ZSDK_ZTMStringEncoding::rfc4648Base64StringEncoding();
  const std::string text = coder.encode(input);
  if (text != plainEncode(input) || coder.decode(text) != plainDecode(text)) return 1;

  size_t sink = 0;
  bench::Medians medians = bench::medianSecondsInTurns([&] { sink += coder.encode(input).size(); },
                                                       [&] { sink += plainEncode(input).size(); });
  bench::report("base64-encode", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  medians = bench::medianSecondsInTurns([&] { sink += coder.decode(text)->size(); },
                                        [&] { sink += plainDecode(text)->size(); });
  bench::report("base64-decode", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
