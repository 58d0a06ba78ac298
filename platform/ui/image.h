#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::ui {

// A bitmap image: rows of 8-bit RGBA pixels (straight alpha), top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes

  bool isEmpty() const { return width <= 0 || height <= 0; }
  // The pixel at (x, y) as 0xRRGGBBAA; 0 outside the image.
  uint32_t pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
};

}  // namespace platform::ui
