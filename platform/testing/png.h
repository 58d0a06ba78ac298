#pragma once

#include <cstdint>
#include <string>

namespace platform::testing {

// The bytes of a PNG image of the size filled with one colour (0xRRGGBBAA; without an alpha
// channel the alpha byte is ignored), so tests carry no binary files.
std::string pngOf(int width, int height, uint32_t rgba, bool alpha = true);

}  // namespace platform::testing
