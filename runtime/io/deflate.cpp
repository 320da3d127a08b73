// The fixed-code DEFLATE compressor and the zlib and gzip framings around it.
//
// Matches are found through a table of 1024 buckets of 4 positions: a position's bucket comes
// from its three bytes, its slot from the three bytes after the token that starts there, so
// runs of one pattern keep several recent sources apart. Only token starts are stored and a
// stored 0 means empty, so position 0 is never a match source.
#include "runtime/io/deflate.h"

#include <array>
#include <cstring>

#include "runtime/io/checksum.h"

namespace xol::deflate {
namespace {

constexpr uint32_t kBuckets = 1024;
constexpr uint32_t kBucketMask = kBuckets - 1;
constexpr uint32_t kSlots = 4;
constexpr uint32_t kSlotMask = kSlots - 1;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kWindow = 32768;
constexpr uint32_t kEndOfBlock = 256;
constexpr uint32_t kFirstLengthSymbol = 257;
constexpr uint32_t kFixedFinalHeader = 3;   // BFINAL 1, BTYPE 01, lowest bit first
constexpr uint32_t kHeaderBits = 3;
constexpr uint32_t kDistanceBits = 5;       // every fixed distance code is 5 bits long

// RFC 1951's length and distance symbols: base value and extra bits.
constexpr uint16_t kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                      33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint32_t kLengthSymbols = sizeof kLengthBase / sizeof kLengthBase[0];
constexpr uint32_t kDistanceSymbols = sizeof kDistanceBase / sizeof kDistanceBase[0];

uint32_t reverse_bits(uint32_t code, uint32_t length) {
  uint32_t reversed = 0;
  for (uint32_t i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
  return reversed;
}

// The fixed literal/length codes of RFC 1951 3.2.6, bit-reversed so that the writer, which puts
// bits lowest first, sends them most significant bit first.
struct FixedCode {
  uint16_t bits;
  uint8_t length;
};
struct FixedTables {
  std::array<FixedCode, 288> literal;
  std::array<uint8_t, kDistanceSymbols> distance;          // reversed 5-bit codes
  std::array<uint8_t, kMaxMatch + 1> length_symbol;        // length -> index into kLengthBase
  std::array<uint8_t, 512> distance_symbol;                // see distance_symbol_of
};

FixedTables make_tables() {
  FixedTables t{};
  for (uint32_t s = 0; s < 288; ++s) {
    uint32_t code, length;
    if (s < 144) code = 0x30 + s, length = 8;
    else if (s < 256) code = 0x190 + (s - 144), length = 9;
    else if (s < 280) code = s - 256, length = 7;
    else code = 0xC0 + (s - 280), length = 8;
    t.literal[s] = {uint16_t(reverse_bits(code, length)), uint8_t(length)};
  }
  for (uint32_t d = 0; d < kDistanceSymbols; ++d)
    t.distance[d] = uint8_t(reverse_bits(d, kDistanceBits));
  for (uint32_t i = 0; i < kLengthSymbols; ++i)
    for (uint32_t l = kLengthBase[i]; l <= kMaxMatch && (i + 1 == kLengthSymbols ||
                                                         l < kLengthBase[i + 1]); ++l)
      t.length_symbol[l] = uint8_t(i);
  for (uint32_t i = 0; i < kDistanceSymbols; ++i)
    for (uint32_t d = kDistanceBase[i];
         d <= kWindow && (i + 1 == kDistanceSymbols || d < kDistanceBase[i + 1]); ++d) {
      if (d <= 256) t.distance_symbol[d - 1] = uint8_t(i);
      else t.distance_symbol[256 + ((d - 1) >> 7)] = uint8_t(i);
    }
  return t;
}
const FixedTables tables = make_tables();

// Distances up to 256 have a symbol each; above, every symbol spans a multiple of 128.
uint32_t distance_symbol_of(uint32_t distance) {
  return distance <= 256 ? tables.distance_symbol[distance - 1]
                         : tables.distance_symbol[256 + ((distance - 1) >> 7)];
}

// Puts bits lowest first; a completed byte is stored while the position is below the end, and
// the position always advances, so the final position is the size needed.
struct BitWriter {
  uint8_t* out;
  uint32_t capacity;
  uint32_t position = 0;
  uint64_t bits = 0;
  uint32_t count = 0;

  void put(uint32_t value, uint32_t n) {
    bits |= uint64_t(value) << count;
    count += n;
    while (count >= 8) {
      if (position < capacity) out[position] = uint8_t(bits);
      ++position;
      bits >>= 8;
      count -= 8;
    }
  }
  void flush() {
    if (count > 0) put(0, 8 - count);
  }
};

// The three bytes from `position`, zeros past the end.
uint32_t three_bytes_at(const uint8_t* in, uint32_t length, uint32_t position) {
  if (length - position >= kMinMatch && position < length)
    return uint32_t(in[position]) << 16 | uint32_t(in[position + 1]) << 8 | in[position + 2];
  uint8_t bytes[kMinMatch] = {};
  for (uint32_t i = 0; i < kMinMatch && position + i < length; ++i) bytes[i] = in[position + i];
  return uint32_t(bytes[0]) << 16 | uint32_t(bytes[1]) << 8 | bytes[2];
}

uint32_t bucket_of(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352DU;
  x ^= x >> 15;
  x *= 0x846CA68BU;
  x ^= x >> 16;
  return x & kBucketMask;
}
uint32_t slot_of(uint32_t v) { return ((v >> 14) - v) & kSlotMask; }

void put_match(BitWriter& writer, uint32_t length, uint32_t distance) {
  const uint32_t l = tables.length_symbol[length];
  const FixedCode& code = tables.literal[kFirstLengthSymbol + l];
  writer.put(code.bits, code.length);
  if (kLengthExtra[l]) writer.put(length - kLengthBase[l], kLengthExtra[l]);
  const uint32_t d = distance_symbol_of(distance);
  writer.put(tables.distance[d], kDistanceBits);
  if (kDistanceExtra[d]) writer.put(distance - kDistanceBase[d], kDistanceExtra[d]);
}

}  // namespace

Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
  uint32_t table[kBuckets][kSlots];
  std::memset(table, 0, sizeof table);
  BitWriter writer{out, *size};
  writer.put(kFixedFinalHeader, kHeaderBits);
  uint32_t p = 0;
  while (p < length) {
    uint32_t* bucket = table[bucket_of(three_bytes_at(in, length, p))];
    uint32_t match = 0, distance = 0;
    if (p >= kMinMatch && length - p >= kMinMatch) {
      for (uint32_t s = 0; s < kSlots; ++s) {
        const uint32_t c = bucket[s];
        if (c == 0 || p - c >= kWindow || std::memcmp(in + c, in + p, kMinMatch) != 0) continue;
        uint32_t l = kMinMatch;
        while (l < kMaxMatch && p + l < length && in[c + l] == in[p + l]) ++l;
        match = l;
        distance = p - c;
        break;
      }
    }
    if (match) {
      put_match(writer, match, distance);
    } else {
      const FixedCode& code = tables.literal[in[p]];
      writer.put(code.bits, code.length);
      match = 1;
    }
    bucket[slot_of(three_bytes_at(in, length, p + match))] = p;
    p += match;
  }
  const FixedCode& end = tables.literal[kEndOfBlock];
  writer.put(end.bits, end.length);
  writer.flush();
  *size = writer.position;
  return writer.position > writer.capacity ? RESULT_TOO_SMALL : RESULT_DONE;
}

namespace {

// A framing: fixed header bytes, the DEFLATE stream, then a trailer computed from the input.
struct Framing {
  const uint8_t* header;
  uint32_t header_size;
  uint32_t trailer_size;
  void (*write_trailer)(uint8_t* out, const uint8_t* in, uint32_t length);
};

Result frame(const Framing& framing, uint8_t* out, uint32_t* size, const uint8_t* in,
             uint32_t length) {
  const uint32_t overhead = framing.header_size + framing.trailer_size;
  const uint32_t capacity = *size;
  if (capacity < overhead) {
    *size = length + overhead;
    return RESULT_FRAMING;
  }
  std::memcpy(out, framing.header, framing.header_size);
  uint32_t stream = capacity - overhead;
  compress(out + framing.header_size, &stream, in, length);
  *size = stream + overhead;
  if (*size > capacity) return RESULT_TOO_SMALL;
  framing.write_trailer(out + framing.header_size + stream, in, length);
  return RESULT_DONE;
}

void put_be32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (24 - 8 * i));
}
void put_le32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}

constexpr uint8_t kZlibHeader[] = {0x78, 0x01};   // CM 8, CINFO 7, no dictionary, check bits
constexpr uint8_t kGzipHeader[] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x04};

const Framing zlib_framing{kZlibHeader, sizeof kZlibHeader, 4,
                           [](uint8_t* out, const uint8_t* in, uint32_t length) {
                             put_be32(out, checksum::adler32(in, length));
                           }};
const Framing gzip_framing{kGzipHeader, sizeof kGzipHeader, 8,
                           [](uint8_t* out, const uint8_t* in, uint32_t length) {
                             put_le32(out, checksum::crc32(in, length));
                             put_le32(out + 4, length);
                           }};

}  // namespace

}  // namespace xol::deflate

namespace xol::zlib {
deflate::Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
  return deflate::frame(deflate::zlib_framing, out, size, in, length);
}
}  // namespace xol::zlib

namespace xol::gzip {
deflate::Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
  return deflate::frame(deflate::gzip_framing, out, size, in, length);
}
}  // namespace xol::gzip
