#pragma once

#include <string>

namespace platform::testing {

// The bytes of a WAV file of silence (16-bit mono PCM at 8 kHz) lasting the milliseconds, so tests
// carry no binary files.
std::string wavOfSilence(int milliseconds);

}  // namespace platform::testing
