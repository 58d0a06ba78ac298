#pragma once

#include <cstddef>
#include <cstdint>

// The 32-bit MurmurHash3 (x86_32) as published: little-endian 4-byte blocks, a tail of 1 to 3
// bytes, the length mixed in, then the final avalanche. Inline, as the fingerprint hashes every
// word of the text on screen with it; its steps are also used one at a time by callers that
// hash bytes as they produce them.

// One 4-byte block (or the tail's bytes, zero-padded) scrambled before it is mixed in.
inline uint32_t ZADMurmurHash3Scramble(uint32_t k) {
  k *= 0xcc9e2d51;
  k = (k << 15) | (k >> 17);
  return k * 0x1b873593;
}

// The hash state after one more full block.
inline uint32_t ZADMurmurHash3Block(uint32_t h, uint32_t block) {
  h ^= ZADMurmurHash3Scramble(block);
  h = (h << 13) | (h >> 19);
  return h * 5 + 0xe6546b64;
}

// The hash of `length` bytes from the state after their full blocks and the tail's bytes
// (little-endian, 0 when there is no tail: its scramble is then 0 and changes nothing).
inline uint32_t ZADMurmurHash3Finish(uint32_t h, uint32_t tail, size_t length) {
  h ^= ZADMurmurHash3Scramble(tail);
  h ^= static_cast<uint32_t>(length);
  h ^= h >> 16;
  h *= 0x85ebca6b;
  h ^= h >> 13;
  h *= 0xc2b2ae35;
  h ^= h >> 16;
  return h;
}

// The hash of the bytes with the seed.
inline uint32_t ZADMurmurHash3(const void* bytes, size_t length, uint32_t seed) {
  const auto* data = static_cast<const uint8_t*>(bytes);
  uint32_t h = seed;
  const size_t blocks = length / 4;
  for (size_t i = 0; i < blocks; ++i) {
    const uint8_t* block = data + i * 4;
    // Little-endian whatever the host's order.
    h = ZADMurmurHash3Block(h, uint32_t(block[0]) | uint32_t(block[1]) << 8 |
                                   uint32_t(block[2]) << 16 | uint32_t(block[3]) << 24);
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
  }
  return ZADMurmurHash3Finish(h, k, length);
}
