#pragma once

// 16 MB of text-like data for the compression benchmarks: repetitive enough to compress the way
// service payloads do, varied enough to keep deflate busy.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace bench {

inline std::vector<uint8_t> compressibleData(size_t size = size_t{16} << 20) {
  static const char* words[] = {
      "{\"name\":\"", "event",  "\",\"value\":", "0.25", ",\"ts\":", "1712345",
      "upload",       "bundle", "\"session\"}",  ",",    "\n",       "user_attribute"};
  std::mt19937 random(11);
  std::vector<uint8_t> data;
  data.reserve(size);
  while (data.size() < size) {
    const char* word = words[random() % 12];
    while (*word && data.size() < size) data.push_back(static_cast<uint8_t>(*word++));
    if (random() % 4 == 0 && data.size() < size) data.push_back(static_cast<uint8_t>(random()));
  }
  return data;
}

}  // namespace bench
