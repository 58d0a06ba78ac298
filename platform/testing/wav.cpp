#include "platform/testing/wav.h"

#include <cstdint>

namespace platform::testing {

namespace {

void appendLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

}  // namespace

std::string wavOfSilence(int milliseconds) {
  constexpr uint32_t kRate = 8000;
  const uint32_t dataSize = kRate * 2 * static_cast<uint32_t>(milliseconds) / 1000;
  std::string out = "RIFF";
  appendLittleEndian(out, 36 + dataSize, 4);
  out += "WAVEfmt ";
  appendLittleEndian(out, 16, 4);
  appendLittleEndian(out, 1, 2);          // PCM
  appendLittleEndian(out, 1, 2);          // mono
  appendLittleEndian(out, kRate, 4);      // samples per second
  appendLittleEndian(out, kRate * 2, 4);  // bytes per second
  appendLittleEndian(out, 2, 2);          // block alignment
  appendLittleEndian(out, 16, 2);         // bits per sample
  out += "data";
  appendLittleEndian(out, dataSize, 4);
  out.append(dataSize, '\0');
  return out;
}

}  // namespace platform::testing
