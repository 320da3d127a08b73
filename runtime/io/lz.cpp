// The LZ unpacker and packer.
//
// The packer looks for matches through two hash heads, one over 3 bytes and one over 4 bytes
// with a chain of earlier positions; a candidate further back must be longer by a margin that
// grows with the distance (`distance_penalty`), since a far offset costs more bits.
#include "runtime/io/lz.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace xol::lz {
namespace {

constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 566;
constexpr uint32_t kWindow = 262144;
constexpr uint32_t kChainSize = 262144;
constexpr uint32_t kChainMask = kChainSize - 1;
constexpr uint32_t kHash3Size = 1u << 19;
constexpr uint32_t kHash4Size = 1u << 20;
constexpr uint32_t kMaxCandidates = 256;
constexpr uint32_t kFarShortMatch = 65536;   // a 3-byte match further back costs more than it saves
constexpr int32_t kNone = -1;
constexpr uint32_t kLiteralBits = 8;
constexpr uint32_t kClassBits = 4;            // the distance code's size class
constexpr uint32_t kMinClass = 2;
constexpr uint32_t kSmallOffsetBits = 3;      // offsets 0 to 7
constexpr uint32_t kFlushBits = 7;
constexpr uint32_t kMinPacked = 128;          // shorter input is left unpacked

// The length code: a run of zero bits (at most 5) ended by a one, then extra bits over a base.
struct LengthClass {
  uint32_t extra;
  uint32_t base;
};
constexpr LengthClass kLengthClasses[] = {{2, 0}, {2, 4}, {2, 8}, {3, 12}, {5, 20}, {9, 52}};
constexpr uint32_t kLengthPrefixes = 5;   // the sixth class has five zeros and no one

uint32_t read_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void write_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Reads bits lowest first, loading a byte only when a bit of it is needed, and never past
// `end`: a read there sets `overrun` and gives zeros.
struct BitReader {
  const uint8_t* position;
  const uint8_t* end;
  uint64_t bits = 0;
  uint32_t count = 0;
  bool overrun = false;

  uint32_t get(uint32_t n) {
    while (count < n) {
      if (position == end) {
        overrun = true;
        return 0;
      }
      bits |= uint64_t(*position++) << count;
      count += 8;
    }
    const uint32_t value = uint32_t(bits & ((uint64_t(1) << n) - 1));
    bits >>= n;
    count -= n;
    return value;
  }
};

// Decodes one chunk of n bytes, appended to `out`; false on any fault.
bool decode_chunk(BitReader& reader, uint32_t n, std::string& out) {
  const size_t start = out.size();
  size_t produced = 0;
  while (produced < n && !reader.overrun) {
    if (reader.get(1) == 0) {
      out.push_back(char(reader.get(kLiteralBits)));
      ++produced;
      continue;
    }
    uint32_t zeros = 0;
    while (zeros < kLengthPrefixes && reader.get(1) == 0) ++zeros;
    const LengthClass& lc = kLengthClasses[zeros];
    const uint32_t length = lc.base + reader.get(lc.extra) + kMinMatch;
    const uint32_t size_class = reader.get(kClassBits) + kMinClass;
    const uint32_t offset = size_class == kMinClass
                                ? reader.get(kSmallOffsetBits)
                                : reader.get(size_class) + (uint32_t(1) << size_class);
    if (reader.overrun || offset >= produced || produced + length > n) return false;
    // Byte by byte: a copy that overlaps its own output repeats bytes.
    size_t source = start + produced - offset - 1;
    for (uint32_t i = 0; i < length; ++i) out.push_back(out[source++]);
    produced += length;
  }
  return !reader.overrun;
}

}  // namespace

bool decompress(const uint8_t* container, uint64_t length, uint64_t limit, std::string& out) {
  out.clear();
  if (length < kHeaderSize) return false;
  const uint32_t packed = read_le32(container);
  const uint32_t unpacked = read_le32(container + 4);
  if (packed > length - kHeaderSize) return false;
  const uint8_t* position = container + kHeaderSize;
  const uint8_t* const end = position + packed;
  while (position < end) {
    if (end - position < 4) return false;
    const uint32_t n = read_le32(position);
    position += 4;
    if (n < 1 || n > kChunkSize || out.size() + n > unpacked || out.size() + n > limit)
      return false;
    BitReader reader{position, end};
    if (!decode_chunk(reader, n, out)) return false;
    position = reader.position;
  }
  return true;
}

namespace {

uint32_t hash3(uint32_t h, uint8_t byte) { return (h * 128 + byte) & (kHash3Size - 1); }
uint32_t hash4(uint32_t h, uint8_t byte) { return (h * 32 + byte) & (kHash4Size - 1); }

// How many times `a` must be shifted right by 3 bits until it is no larger than `b`.
uint32_t distance_penalty(uint32_t a, uint32_t b) {
  uint32_t shifts = 0;
  for (; a > b; a >>= 3) ++shifts;
  return shifts;
}

// Puts bits lowest first into a growing output, which stops at `capacity` bytes.
struct BitWriter {
  std::string& out;
  size_t capacity;
  uint64_t bits = 0;
  uint32_t count = 0;
  bool overflow = false;

  void put(uint32_t n, uint32_t value) {
    bits |= uint64_t(value) << count;
    count += n;
    while (count >= 8) {
      if (out.size() >= capacity) overflow = true;
      else out.push_back(char(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  // Appends n bytes of room at the end; null (with the overflow flag) when they do not fit.
  uint8_t* reserve(size_t n) {
    if (out.size() + n > capacity) {
      overflow = true;
      return nullptr;
    }
    out.resize(out.size() + n);
    return reinterpret_cast<uint8_t*>(out.data() + out.size() - n);
  }
};

void put_match(BitWriter& writer, uint32_t length, uint32_t distance) {
  writer.put(1, 1);
  uint32_t field = length - kMinMatch, zeros = 0;
  while (zeros < kLengthPrefixes && field >= kLengthClasses[zeros + 1].base) ++zeros;
  for (uint32_t i = 0; i < zeros; ++i) writer.put(1, 0);
  if (zeros < kLengthPrefixes) writer.put(1, 1);
  writer.put(kLengthClasses[zeros].extra, field - kLengthClasses[zeros].base);
  const uint32_t offset = distance - 1;
  uint32_t size_class = kMinClass;
  while (offset >= (uint32_t(1) << (size_class + 1))) ++size_class;
  writer.put(kClassBits, size_class - kMinClass);
  if (size_class == kMinClass) writer.put(kSmallOffsetBits, offset);
  else writer.put(size_class, offset - (uint32_t(1) << size_class));
}

struct Tables {
  std::unique_ptr<int32_t[]> head3{new int32_t[kHash3Size]};
  std::unique_ptr<int32_t[]> head4{new int32_t[kHash4Size]};
  std::unique_ptr<int32_t[]> chain{new int32_t[kChainSize]};
};

// Packs one chunk of `n` bytes (n >= 1) at `data`.
void pack_chunk(const uint8_t* data, uint32_t n, Tables& t, BitWriter& writer) {
  std::fill_n(t.head3.get(), kHash3Size, kNone);
  std::fill_n(t.head4.get(), kHash4Size, kNone);
  auto hashes_at = [&](uint32_t p, uint32_t* h3, uint32_t* h4) {
    *h3 = hash3(hash3(hash3(0, data[p]), data[p + 1]), data[p + 2]);
    *h4 = p + 3 < n ? hash4(hash4(hash4(hash4(0, data[p]), data[p + 1]), data[p + 2]), data[p + 3])
                    : 0;
  };
  auto enter = [&](uint32_t p) {
    if (p + kMinMatch > n) return;
    uint32_t h3, h4;
    hashes_at(p, &h3, &h4);
    t.head3[h3] = int32_t(p);
    if (p + 4 > n) return;
    t.chain[p & kChainMask] = t.head4[h4];
    t.head4[h4] = int32_t(p);
  };
  uint32_t p = 0;
  while (p < n) {
    const uint32_t longest = std::min(kMaxMatch, n - p);
    const uint32_t window = p > kWindow ? p - kWindow : 0;
    uint32_t best = 2, best_distance = 0;
    auto extend = [&](uint32_t c) {
      uint32_t l = 0;
      while (l < longest && data[c + l] == data[p + l]) ++l;
      return l;
    };
    if (longest >= kMinMatch) {
      uint32_t h3, h4;
      hashes_at(p, &h3, &h4);
      const int32_t c3 = t.head3[h3];
      if (c3 != kNone && uint32_t(c3) >= window) {
        const uint32_t l = extend(uint32_t(c3));
        if (l > best) best = l, best_distance = p - uint32_t(c3);
      }
      int32_t c = p + 4 <= n ? t.head4[h4] : kNone;
      for (uint32_t tries = 0; best < longest && c != kNone && uint32_t(c) >= window &&
                               tries < kMaxCandidates;
           ++tries, c = t.chain[uint32_t(c) & kChainMask]) {
        const uint32_t cand = uint32_t(c);
        if (data[cand + best] != data[p + best] || data[cand] != data[p]) continue;
        const uint32_t l = extend(cand);
        const uint32_t distance = p - cand;
        if (l > best + distance_penalty(distance / 16, best_distance))
          best = l, best_distance = distance;
      }
    }
    if (best == kMinMatch && best_distance > kFarShortMatch) best = 2;
    uint32_t consumed = 1;
    if (best >= kMinMatch) {
      put_match(writer, best, best_distance);
      consumed = best;
    } else {
      writer.put(1, 0);
      writer.put(kLiteralBits, data[p]);
    }
    for (uint32_t i = 0; i < consumed; ++i) enter(p + i);
    p += consumed;
  }
  writer.put(kFlushBits, 0);
}

}  // namespace

int64_t compress(const uint8_t* data, uint32_t n, std::string& out) {
  out.clear();
  if (n < kMinPacked) return -1;
  Tables tables;
  BitWriter writer{out, size_t(n) - kHeaderSize};
  writer.reserve(kHeaderSize);
  for (uint32_t done = 0; done < n && !writer.overflow;) {
    const uint32_t chunk = std::min(kChunkSize, n - done);
    uint8_t* length_word = writer.reserve(4);
    if (!length_word) break;
    write_le32(length_word, chunk);
    writer.bits = 0;
    writer.count = 0;
    pack_chunk(data + done, chunk, tables, writer);
    done += chunk;
  }
  if (writer.overflow) {
    out.clear();
    return -1;
  }
  uint8_t* header = reinterpret_cast<uint8_t*>(out.data());
  write_le32(header, uint32_t(out.size() - kHeaderSize));
  write_le32(header + 4, n);
  return int64_t(out.size());
}

}  // namespace xol::lz
