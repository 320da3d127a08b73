// MurmurHash3, x86 32-bit variant, and the small hashing helpers the tables share.
//
// Every hash table of the runtime (contexts, the symbol table, hash! and map! keys, the owners
// table, the integer map) hashes with MurmurHash3 or its 32-bit finaliser. The byte hash takes
// a seed; the runtime seeds it with one constant, fixed for every run, so hashes (and the
// sequences `random/seed` derives from them) are the same from run to run. `Murmur3` exposes
// the block-at-a-time form so that text can be hashed one code point per 32-bit block
// without first being copied into a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::hash {

// The runtime's hash seed: any constant will do, but it must never change between runs.
constexpr uint32_t kSeed = 0x5852CE41;

// Incremental MurmurHash3 x86_32 over whole 32-bit blocks plus an optional tail.
class Murmur3 {
 public:
  explicit Murmur3(uint32_t seed) : h_(seed) {}
  // Mixes one little-endian 32-bit block.
  void add_block(uint32_t block);
  // Mixes the last 1-3 bytes (the low `count` bytes of `tail`), as the algorithm does for a
  // length that is not a multiple of 4.
  void add_tail(uint32_t tail, size_t count);
  // Mixes in the total length in bytes and applies the finaliser.
  uint32_t finish(size_t length) const;

 private:
  uint32_t h_;
};

uint32_t murmur3(const void* bytes, size_t length, uint32_t seed);
inline uint32_t murmur3(const void* bytes, size_t length) { return murmur3(bytes, length, kSeed); }

// MurmurHash3's finaliser: a fast full avalanche of one 32-bit value.
constexpr uint32_t fmix32(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6B;
  h ^= h >> 13;
  h *= 0xC2B2AE35;
  h ^= h >> 16;
  return h;
}

// The smallest power of two >= n (1 for n = 0); n must not exceed 2^31.
constexpr uint32_t round_pow2(uint32_t n) {
  uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace xol::hash
