// MurmurHash3 x86_32 against its published test vectors, and the finaliser and sizing helpers.
#include "runtime/tables/murmur3.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace xol {
namespace {

struct Vector {
  std::string bytes;
  uint32_t seed;
  uint32_t hash;
};

const Vector kVectors[] = {
    {"", 0, 0},
    {"", 1, 0x514E28B7},
    {"", 0xFFFFFFFF, 0x81F16F39},
    {std::string("\xFF\xFF\xFF\xFF", 4), 0, 0x76293B50},
    {std::string("\x21\x43\x65\x87", 4), 0, 0xF55B516B},
    {std::string("\x21\x43\x65\x87", 4), 0x5082EDEE, 0x2362F9DE},
    {std::string("\x21\x43\x65", 3), 0, 0x7E4A8634},
    {std::string("\x21\x43", 2), 0, 0xA0F7B07A},
    {std::string("\x21", 1), 0, 0x72661CF4},
    {std::string("\0\0\0\0", 4), 0, 0x2362F9DE},
    {std::string("\0\0\0", 3), 0, 0x85F0B427},
    {std::string("\0\0", 2), 0, 0x30F4C306},
    {std::string("\0", 1), 0, 0x514E28B7},
    {"aaaa", 0x9747B28C, 0x5A97808A},
    {"aaa", 0x9747B28C, 0x283E0130},
    {"aa", 0x9747B28C, 0x5D211726},
    {"a", 0x9747B28C, 0x7FA09EA6},
    {"abcd", 0x9747B28C, 0xF0478627},
    {"abc", 0x9747B28C, 0xC84A62DD},
    {"ab", 0x9747B28C, 0x74875592},
    {"Hello, world!", 0x9747B28C, 0x24884CBA},
    {"\xCF\x80\xCF\x80\xCF\x80\xCF\x80\xCF\x80\xCF\x80\xCF\x80\xCF\x80", 0x9747B28C, 0xD58063C1},
    {std::string(256, 'a'), 0x9747B28C, 0x37405BDC},
    {"abc", 0, 0xB3DD93FA},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0, 0xEE925B90},
    {"The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD},
};

TEST(Murmur3Test, PublishedVectors) {
  for (const Vector& v : kVectors)
    EXPECT_EQ(hash::murmur3(v.bytes.data(), v.bytes.size(), v.seed), v.hash)
        << '"' << v.bytes << "\" seed " << v.seed;
}

// The reference implementation's self-test: hash keys {}, {0}, {0,1}, ... {0..254} with seeds
// 256 - length, then hash the 256 hashes with seed 0.
TEST(Murmur3Test, VerificationValue) {
  uint8_t key[256];
  std::vector<uint8_t> hashes(256 * 4);
  for (uint32_t i = 0; i < 256; ++i) {
    key[i] = uint8_t(i);
    uint32_t h = hash::murmur3(key, i, 256 - i);
    for (int b = 0; b < 4; ++b) hashes[i * 4 + b] = uint8_t(h >> (8 * b));
  }
  EXPECT_EQ(hash::murmur3(hashes.data(), hashes.size(), 0), 0xB0F57EE3u);
}

TEST(Murmur3Test, BlocksOfCodePointsHashLikeTheirLittleEndianBytes) {
  const uint32_t code_points[] = {0x48, 0x20AC, 0x1F600};
  hash::Murmur3 m(hash::kSeed);
  for (uint32_t cp : code_points) m.add_block(cp);
  EXPECT_EQ(m.finish(sizeof code_points), hash::murmur3(code_points, sizeof code_points));
}

TEST(Murmur3Test, FinaliserAndPowersOfTwo) {
  EXPECT_EQ(hash::fmix32(0), 0u);
  EXPECT_EQ(hash::fmix32(1), 0x514E28B7u);  // the empty input with seed 1 is fmix32(1)
  const uint32_t rounds[][2] = {{0, 1}, {1, 1}, {3, 4}, {4, 4}, {5, 8}, {25974, 32768}};
  for (auto [n, p] : rounds) EXPECT_EQ(hash::round_pow2(n), p) << n;
}

}  // namespace
}  // namespace xol
