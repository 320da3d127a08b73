// MurmurHash3 x86_32, after Austin Appleby's public-domain algorithm.
#include "runtime/tables/murmur3.h"

#include <cstring>

namespace xol::hash {

namespace {

constexpr uint32_t kC1 = 0xCC9E2D51;
constexpr uint32_t kC2 = 0x1B873593;
constexpr uint32_t kBlockAdd = 0xE6546B64;
constexpr int kBlockRotation = 15;
constexpr int kHashRotation = 13;
constexpr uint32_t kHashMultiplier = 5;

constexpr uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

constexpr uint32_t scramble(uint32_t k) { return rotl(k * kC1, kBlockRotation) * kC2; }

}  // namespace

void Murmur3::add_block(uint32_t block) {
  h_ ^= scramble(block);
  h_ = rotl(h_, kHashRotation) * kHashMultiplier + kBlockAdd;
}

void Murmur3::add_tail(uint32_t tail, size_t count) {
  if (count) h_ ^= scramble(tail);
}

uint32_t Murmur3::finish(size_t length) const {
  return fmix32(h_ ^ static_cast<uint32_t>(length));
}

uint32_t murmur3(const void* bytes, size_t length, uint32_t seed) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  Murmur3 m(seed);
  size_t blocks = length / 4;
  for (size_t i = 0; i < blocks; ++i) {
    uint32_t block;
    std::memcpy(&block, p + 4 * i, sizeof block);  // the byte order is little-endian here
    m.add_block(block);
  }
  size_t rest = length & 3;
  uint32_t tail = 0;
  for (size_t i = 0; i < rest; ++i) tail |= uint32_t(p[4 * blocks + i]) << (8 * i);
  m.add_tail(tail, rest);
  return m.finish(length);
}

}  // namespace xol::hash
