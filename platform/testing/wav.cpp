#include "platform/testing/wav.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace platform::testing {

namespace {

void put(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t get(const std::string& in, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
  return value;
}

}  // namespace

std::string wavOf(double seconds, int sampleRate, double frequency) {
  const auto samples = static_cast<uint32_t>(std::lround(seconds * sampleRate));
  const uint32_t dataBytes = samples * 2;
  std::string out = "RIFF";
  put(out, 36 + dataBytes, 4);
  out += "WAVEfmt ";
  put(out, 16, 4);
  put(out, 1, 2);  // PCM
  put(out, 1, 2);  // mono
  put(out, static_cast<uint32_t>(sampleRate), 4);
  put(out, static_cast<uint32_t>(sampleRate) * 2, 4);
  put(out, 2, 2);
  put(out, 16, 2);
  out += "data";
  put(out, dataBytes, 4);
  for (uint32_t i = 0; i < samples; ++i) {
    const double value = 0.3 * std::sin(2 * std::numbers::pi * frequency * i / sampleRate);
    put(out, static_cast<uint32_t>(static_cast<int16_t>(value * 32767)) & 0xFFFF, 2);
  }
  return out;
}

double WavFormat::seconds() const {
  const int frameBytes = channels * bitsPerSample / 8;
  return frameBytes > 0 && sampleRate > 0 ? static_cast<double>(dataBytes) / frameBytes / sampleRate
                                          : 0;
}

std::optional<WavFormat> readWavFormat(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    return std::nullopt;
  }
  WavFormat format;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    const uint32_t size = get(bytes, at + 4, 4);
    if (id == "fmt " && size >= 16 && at + 8 + 16 <= bytes.size()) {
      if (get(bytes, at + 8, 2) != 1) return std::nullopt;  // not PCM
      format.channels = static_cast<int>(get(bytes, at + 10, 2));
      format.sampleRate = static_cast<int>(get(bytes, at + 12, 4));
      format.bitsPerSample = static_cast<int>(get(bytes, at + 22, 2));
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat || at + 8 + size > bytes.size()) return std::nullopt;
      format.dataBytes = size;
      return format;
    }
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

}  // namespace platform::testing
