#pragma once

#include <cstddef>
#include <cstdint>

// The 32-bit MurmurHash3 (x86_32) of the bytes with the seed, as published: little-endian
// 4-byte blocks, a tail of 1 to 3 bytes, the length mixed in, then the final avalanche.
uint32_t ZADMurmurHash3(const void* bytes, size_t length, uint32_t seed);
