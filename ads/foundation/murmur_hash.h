#pragma once

#include <cstddef>
#include <cstdint>

// The 32-bit MurmurHash3 (x86_32) of the bytes with the seed, as published: little-endian
// 4-byte blocks, a tail of 1 to 3 bytes, the length mixed in, then the final avalanche. Inline,
// as the fingerprint hashes every word of the text on screen with it.
inline uint32_t ZADMurmurHash3(const void* bytes, size_t length, uint32_t seed) {
  constexpr uint32_t kC1 = 0xcc9e2d51;
  constexpr uint32_t kC2 = 0x1b873593;
  const auto rotateLeft = [](uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
  };
  const auto mixBlock = [&](uint32_t k) { return rotateLeft(k * kC1, 15) * kC2; };
  const auto* data = static_cast<const uint8_t*>(bytes);
  uint32_t h = seed;
  const size_t blocks = length / 4;
  for (size_t i = 0; i < blocks; ++i) {
    const uint8_t* block = data + i * 4;
    // Little-endian whatever the host's order.
    const uint32_t k = uint32_t(block[0]) | uint32_t(block[1]) << 8 | uint32_t(block[2]) << 16 |
                       uint32_t(block[3]) << 24;
    h ^= mixBlock(k);
    h = rotateLeft(h, 13) * 5 + 0xe6546b64;
  }
  const uint8_t* tail = data + blocks * 4;
  uint32_t k = 0;
  switch (length & 3) {
    case 3:
      k ^= uint32_t(tail[2]) << 16;
      [[fallthrough]];
    case 2:
      k ^= uint32_t(tail[1]) << 8;
      [[fallthrough]];
    case 1:
      k ^= tail[0];
      h ^= mixBlock(k);
  }
  h ^= static_cast<uint32_t>(length);
  h ^= h >> 16;
  h *= 0x85ebca6b;
  h ^= h >> 13;
  h *= 0xc2b2ae35;
  h ^= h >> 16;
  return h;
}
