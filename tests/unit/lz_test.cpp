// The LZ codec of packed XOLBIN bodies: the container format read exactly, the packer's limits
// and round trips, and the unpacker's refusals of containers that lie about themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "runtime/io/lz.h"

namespace xol {
namespace {

using Bytes = std::vector<uint8_t>;

void put_le32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A container of one chunk of `n` output bytes with the given bit stream; P and U as given,
// or computed when negative.
Bytes container(uint32_t n, const Bytes& stream, int64_t packed = -1, int64_t unpacked = -1) {
  Bytes out;
  put_le32(out, packed < 0 ? uint32_t(4 + stream.size()) : uint32_t(packed));
  put_le32(out, unpacked < 0 ? n : uint32_t(unpacked));
  put_le32(out, n);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

bool unpack(const Bytes& in, std::string& out, uint64_t limit = 1u << 30) {
  return lz::decompress(in.data(), in.size(), limit, out);
}

// One literal "a", then a match of length field 563 (566 bytes) at offset 0: the previous
// byte, repeated.
const Bytes kRun = {0xC2, 0x82, 0xFF, 0x00};

TEST(LzTest, AMatchAtOffsetZeroRepeatsThePreviousByte) {
  std::string out;
  ASSERT_TRUE(unpack(container(567, kRun), out));
  EXPECT_EQ(out, std::string(567, 'a'));
}

TEST(LzTest, ChunkLengthsAreOneToOneMebibyte) {
  std::string big(lz::kChunkSize, 'x'), out;
  Bytes packed;
  std::string packed_text;
  ASSERT_GT(lz::compress(reinterpret_cast<const uint8_t*>(big.data()), uint32_t(big.size()),
                         packed_text), 0);
  packed.assign(packed_text.begin(), packed_text.end());
  EXPECT_TRUE(unpack(packed, out));
  EXPECT_EQ(out, big);
  // The same container with its chunk length one more than a chunk may hold, and 0.
  for (uint32_t n : {lz::kChunkSize + 1, 0u}) {
    Bytes lying = packed;
    for (int i = 0; i < 4; ++i) lying[8 + i] = uint8_t(n >> (8 * i));
    EXPECT_FALSE(unpack(lying, out)) << n;
  }
}

TEST(LzTest, RefusesContainersThatLie) {
  std::string out;
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"packed size past the data", container(567, kRun, 9)},
      {"chunk area not ending on a chunk", container(567, {0xC2, 0x82, 0xFF, 0x00, 0x00}, 9)},
      {"truncated chunk", container(567, {0xC2, 0x82})},
      {"output past the unpacked size", container(567, kRun, -1, 566)},
      // A literal, then a match of 3 at offset 1: its source is before the chunk's start.
      {"match before the chunk", container(4, {0xC2, 0x06, 0x02})},
      // The run's match asks for 566 bytes where the chunk holds 10.
      {"match past the chunk", container(10, kRun)},
      {"shorter than a header", {0x01, 0x00, 0x00}},
  };
  for (const Case& c : cases) EXPECT_FALSE(unpack(c.bytes, out)) << c.what;
  EXPECT_FALSE(unpack(container(567, kRun), out, 566)) << "output past the caller's limit";
}

TEST(LzTest, PackerLeavesShortAndIncompressibleInputUnpacked) {
  std::string out;
  std::string text(127, 'a');
  EXPECT_EQ(lz::compress(reinterpret_cast<const uint8_t*>(text.data()), 127, out), -1);
  EXPECT_TRUE(out.empty());
  std::mt19937 random(7);
  Bytes noise(4096);
  for (uint8_t& b : noise) b = uint8_t(random());
  EXPECT_EQ(lz::compress(noise.data(), uint32_t(noise.size()), out), -1);
}

TEST(LzTest, RoundTripsInChunksOfAMebibyte) {
  std::string text;
  for (int i = 0; text.size() <= lz::kChunkSize; ++i)
    text += "line " + std::to_string(i * 7919 % 10007) + " of some text\n";
  text.resize(lz::kChunkSize + 1);
  const std::string inputs[] = {text, std::string(3 * lz::kChunkSize, '\0'),
                                std::string(200, 'q') + "tail"};
  for (const std::string& input : inputs) {
    std::string packed, out;
    const int64_t size =
        lz::compress(reinterpret_cast<const uint8_t*>(input.data()), uint32_t(input.size()),
                     packed);
    ASSERT_EQ(size, int64_t(packed.size()));
    ASSERT_LT(packed.size(), input.size());
    Bytes container(packed.begin(), packed.end());
    ASSERT_TRUE(unpack(container, out));
    EXPECT_EQ(out, input);
    // Every chunk but the last holds a whole mebibyte.
    uint32_t first = 0;
    for (int i = 0; i < 4; ++i) first |= uint32_t(uint8_t(packed[8 + i])) << (8 * i);
    EXPECT_EQ(first, std::min<size_t>(input.size(), lz::kChunkSize));
  }
}

}  // namespace
}  // namespace xol
