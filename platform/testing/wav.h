#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform::testing {

// The bytes of a ".wav" file holding a sine tone (16-bit PCM, mono), so tests carry no binary
// files.
std::string wavOf(double seconds, int sampleRate = 8000, double frequency = 440);

// What a ".wav" file's header says, checked against the file's size; nothing when the file is
// not a well-formed PCM ".wav" file.
struct WavFormat {
  int sampleRate = 0;
  int channels = 0;
  int bitsPerSample = 0;
  uint32_t dataBytes = 0;
  double seconds() const;
};
std::optional<WavFormat> readWavFormat(const std::filesystem::path& path);

}  // namespace platform::testing
