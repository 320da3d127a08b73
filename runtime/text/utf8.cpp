// UTF-8 decoders, encoders and the loading of text into string buffers.
//
// Loading is the hot path (every source file and every binary turned into text goes through
// it): runs of ASCII are found eight bytes at a time and copied as they are into a unit-1
// buffer, and only the other bytes are decoded one sequence at a time.
#include "runtime/text/utf8.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"

namespace xol::unicode::detail {

namespace {

constexpr int kClassCount = 12;
constexpr int kStateCount = 9;

struct ClassRange {
  uint8_t first, last, byte_class;
};
constexpr ClassRange kByteClasses[] = {
    {0x00, 0x7F, 0},  {0x80, 0x8F, 1},  {0x90, 0x9F, 9},  {0xA0, 0xBF, 7}, {0xC0, 0xC1, 8},
    {0xC2, 0xDF, 2},  {0xE0, 0xE0, 10}, {0xE1, 0xEC, 3},  {0xED, 0xED, 4}, {0xEE, 0xEF, 3},
    {0xF0, 0xF0, 11}, {0xF1, 0xF3, 6},  {0xF4, 0xF4, 5},  {0xF5, 0xFF, 8},
};

// Row: the state (0 accept, 12 reject, 24 one continuation missing, 36 two, 48 after E0,
// 60 after ED, 72 after F0, 84 after F1-F3, 96 after F4); column: the byte class.
constexpr uint8_t kTransitions[kStateCount][kClassCount] = {
    {0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72},
    {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12},
    {12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12},
    {12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12},
    {12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12},
    {12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
    {12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
    {12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
};
static_assert(kClassTableSize + kStateCount * kClassCount == kAutomatonSize);

constexpr std::array<uint8_t, kAutomatonSize> build_automaton() {
  std::array<uint8_t, kAutomatonSize> table{};
  for (const ClassRange& range : kByteClasses)
    for (int b = range.first; b <= range.last; ++b) table[b] = range.byte_class;
  for (int state = 0; state < kStateCount; ++state)
    for (int k = 0; k < kClassCount; ++k)
      table[kClassTableSize + state * kClassCount + k] = kTransitions[state][k];
  return table;
}
}  // namespace

constinit const std::array<uint8_t, kAutomatonSize> kAutomaton = build_automaton();

}  // namespace xol::unicode::detail

namespace xol::utf8 {

namespace {
int encode_os_char(uint32_t cp, uint8_t* out);
}  // namespace

using memory::SeriesBuffer;

namespace {

constexpr int32_t kInvalid = -2;   // the strict decoder's mark for a bad sequence
constexpr uint32_t kFirstTwoByte = 0x80;
constexpr uint32_t kFirstThreeByte = 0x800;
constexpr uint32_t kFirstFourByte = 0x10000;
using unicode::detail::kContinuationBits;
using unicode::detail::kContinuationMask;
constexpr uint32_t kContinuationTag = 0x80;
constexpr uint8_t kFirstLead = 0xC0;        // 80-BF are continuation bytes
constexpr uint8_t kFirstThreeLead = 0xE0;
constexpr uint8_t kFirstFourLead = 0xF0;
constexpr uint8_t kFirstBadLead = 0xF8;     // F8-FF start nothing
constexpr uint32_t kNoncharacter = 0xFFFE;
constexpr uint32_t kRejectedLow = 0xDC00;   // U+DC00-U+DCFF never come out of the strict decoder
constexpr uint32_t kRejectedHigh = 0xDCFF;
constexpr uint32_t kEscapeBase = 0xDC00;    // OS text: a stray byte b becomes U+DC00 + b
constexpr uint32_t kFirstEscape = 0xDC80;
constexpr uint32_t kLastEscape = 0xDCFF;
constexpr uint8_t kBom[] = {0xEF, 0xBB, 0xBF};
constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLowBits = 0x0101010101010101ull;
constexpr uint64_t kCrBytes = kLowBits * '\r';

// Lead-byte payload bits and tag bits for sequences of 2, 3 and 4 bytes.
constexpr uint8_t kLeadMask[kMaxSequence + 1] = {0, 0, 0x1F, 0x0F, 0x07};
constexpr uint8_t kLeadTag[kMaxSequence + 1] = {0, 0, kFirstLead, kFirstThreeLead, kFirstFourLead};

[[noreturn]] void raise_invalid_char(uint32_t cp) {
  Cell arg{TYPE_INTEGER, 0, cp, 0};
  error::raise(error::CAT_SCRIPT, "invalid-char", &arg);
}

[[noreturn]] void raise_invalid_utf8(const uint8_t* p, size_t available) {
  // The bytes may live in a series buffer that the allocation moves: copy them first.
  uint8_t bytes[kMaxSequence];
  uint32_t count = uint32_t(std::min<size_t>(available, kMaxSequence));
  std::memcpy(bytes, p, count);
  NodeId node = memory::alloc_bytes(count);
  SeriesBuffer* buffer = memory::buffer_of(node);
  std::memcpy(buffer->data(), bytes, count);
  buffer->tail = count;
  Cell arg{TYPE_BINARY, 0, node, 0};
  error::raise(error::CAT_ACCESS, "invalid-utf8", &arg);
}

bool is_continuation(uint8_t b) { return (b & ~kContinuationMask) == kContinuationTag; }

// Appends the payload of `count` continuation bytes to the lead's payload.
uint32_t join(uint32_t cp, const uint8_t* continuation, int count) {
  for (int i = 0; i < count; ++i)
    cp = (cp << kContinuationBits) | (continuation[i] & kContinuationMask);
  return cp;
}

// Strict decoding without raising: the code point, kIncomplete or kInvalid. Unrolled per
// sequence length, since loading spends its time here on text that is not ASCII.
inline int32_t decode_strict(const uint8_t* p, size_t available, size_t* consumed) {
  uint8_t lead = p[0];
  if (lead < kFirstTwoByte) {
    *consumed = 1;
    return lead;
  }
  if (lead < kFirstLead || lead >= kFirstBadLead) return kInvalid;
  int length = sequence_length(lead);
  if (available < size_t(length)) return kIncomplete;
  uint32_t cp;
  switch (length) {
    case 2:
      if (!is_continuation(p[1])) return kInvalid;
      *consumed = 2;   // at most U+07FF, overlongs included: nothing more to check
      return int32_t(join(lead & kLeadMask[2], p + 1, 1));
    case 3:
      if (!is_continuation(p[1]) || !is_continuation(p[2])) return kInvalid;
      cp = join(lead & kLeadMask[3], p + 1, 2);
      break;
    default:
      if (!is_continuation(p[1]) || !is_continuation(p[2]) || !is_continuation(p[3]))
        return kInvalid;
      cp = join(lead & kLeadMask[4], p + 1, 3);
      break;
  }
  // Overlong forms pass; so do the surrogates other than U+DC00-U+DCFF, which a four-byte
  // overlong form could reach as well as the three-byte one.
  if ((cp >= kRejectedLow && cp <= kRejectedHigh) || cp > kMaxCodePoint || cp == kNoncharacter)
    return kInvalid;
  *consumed = size_t(length);
  return int32_t(cp);
}

// Length of the run of ASCII bytes at p (stopping at CR too when asked), a word at a time.
inline size_t ascii_run(const uint8_t* p, const uint8_t* end, bool stop_at_cr) {
  const uint8_t* start = p;
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    uint64_t stop = word & kHighBits;
    if (stop_at_cr) {
      uint64_t cr = word ^ kCrBytes;   // a zero byte where the byte was CR
      stop |= (cr - kLowBits) & ~cr & kHighBits;
    }
    if (stop) return size_t(p - start) + size_t(__builtin_ctzll(stop) >> 3);
    p += 8;
  }
  while (p < end && *p < kFirstTwoByte && !(stop_at_cr && *p == '\r')) ++p;
  return size_t(p - start);
}

// Fills a text buffer from its data start, widening it as the loaded code points require.
// The common store is one test and one write; widening and growth take the slow path.
class Filler {
 public:
  Filler(NodeId target, size_t count) {
    uint32_t capacity = uint32_t(std::max<size_t>(count, 1));
    if (target == kNoNode) {
      node_ = memory::alloc_bytes(capacity);
      buffer_ = memory::buffer_of(node_);
    } else {
      node_ = target;
      buffer_ = memory::buffer_of(target);
      uint64_t bytes = uint64_t(capacity) * string::unit_of(buffer_);
      if (buffer_->size < bytes) buffer_ = memory::grow_series(buffer_, bytes);
    }
    buffer_->head = 0;
    buffer_->tail = 0;
    // Unit 1 never needs more than a byte per input byte; after a widening the buffer grows
    // by a quarter of the input (unit 2) or the whole input (unit 4) at a time.
    growth_2_ = uint32_t(std::max<size_t>(count / 4, string::UNIT_4));
    growth_4_ = std::max<uint32_t>(capacity, string::UNIT_4);
    refresh();
  }

  // A run of ASCII bytes: copied as is into unit 1.
  void put_ascii(const uint8_t* p, size_t n) {
    if (unit_ == string::UNIT_1) {
      std::memcpy(data_ + at_, p, n);
      at_ += uint32_t(n);
      return;
    }
    for (size_t i = 0; i < n; ++i) put(p[i]);
  }

  void put(uint32_t cp) {
    if (cp > widest_ || at_ + unit_ > size_) make_room(cp);
    string::put_char(data_ + at_, unit_, cp);
    at_ += unit_;
  }

  Loaded finish() {
    buffer_->tail = at_;
    return {node_, at_};
  }

 private:
  static constexpr uint32_t kWidest[string::UNIT_4 + 1] = {0, 0xFF, 0xFFFF, 0, UINT32_MAX};

  [[gnu::noinline]] void make_room(uint32_t cp) {
    buffer_->tail = at_;
    buffer_ = string::widen_to(buffer_, string::unit_for_store(cp));
    if (buffer_->tail + buffer_->unit() > buffer_->size) {
      uint32_t step = buffer_->unit() == string::UNIT_2 ? growth_2_ : growth_4_;
      buffer_ = memory::grow_series(buffer_, uint64_t(buffer_->size) + step);
    }
    refresh();
  }

  void refresh() {
    unit_ = string::unit_of(buffer_);
    widest_ = kWidest[unit_];
    data_ = buffer_->data();
    size_ = buffer_->size;
    at_ = buffer_->tail;
  }

  NodeId node_;
  SeriesBuffer* buffer_;
  uint8_t* data_;
  uint32_t size_;
  uint32_t unit_;
  uint32_t widest_;   // the largest code point the unit holds
  uint32_t at_ = 0;
  uint32_t growth_2_;
  uint32_t growth_4_;
};

// The loading loop shared by the strict and the OS-text decoders. `decode` answers a code
// point, kIncomplete or kInvalid, and advances p. The word-at-a-time ASCII scan starts only at
// an ASCII byte, so text without ASCII runs does not pay for it.
template <typename Decode>
Loaded load(const uint8_t* p, size_t count, NodeId target, size_t* left_over, LineEnds line_ends,
            Decode decode) {
  Filler filler(target, count);
  const uint8_t* end = p + count;
  bool to_lf = line_ends == LineEnds::TO_LF;
  while (p < end) {
    if (*p < kFirstTwoByte) {
      size_t run = ascii_run(p, end, to_lf);
      if (run) {
        filler.put_ascii(p, run);
        p += run;
        continue;
      }
    }
    const uint8_t* start = p;
    int32_t cp = decode(p, end);
    if (cp == kIncomplete) break;
    if (cp == kInvalid) {
      filler.finish();
      raise_invalid_utf8(start, size_t(end - start));
    }
    if (cp == '\r' && to_lf) {
      if (p < end && *p == '\n') continue;   // the LF is stored next
      cp = '\n';
    }
    filler.put(uint32_t(cp));
  }
  if (left_over) *left_over = size_t(end - p);
  return filler.finish();
}

// Encodes `count` units of width Unit from `source` into `out`, whole characters only, at most
// `room` bytes; answers the bytes written.
template <typename Unit>
size_t encode_units(const uint8_t* source, uint32_t count, uint8_t* out, size_t room,
                    unsigned flags) {
  size_t n = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t cp = string::load_unit<Unit>(source + i * sizeof(Unit));
    if (cp < kFirstTwoByte) {
      bool cr = cp == '\n' && (flags & ENCODE_CRLF);
      if (n + 1 + cr > room) break;
      if (cr) out[n++] = '\r';
      out[n++] = uint8_t(cp);
      continue;
    }
    int length = (flags & ENCODE_OS_TEXT) && cp >= kFirstEscape && cp <= kLastEscape
                     ? 1 : encoded_length(cp);
    if (n + size_t(length) > room) break;
    n += size_t(flags & ENCODE_OS_TEXT ? encode_os_char(cp, out + n) : encode_char(cp, out + n));
  }
  return n;
}

size_t encode_string(const Cell* string, uint32_t count, uint8_t* out, size_t room,
                     unsigned flags) {
  SeriesBuffer* buffer = memory::buffer_of(string->node());
  const uint8_t* source = string::head_address(string, buffer);
  switch (string::unit_of(buffer)) {
    case string::UNIT_1: return encode_units<uint8_t>(source, count, out, room, flags);
    case string::UNIT_2: return encode_units<uint16_t>(source, count, out, room, flags);
    default: return encode_units<uint32_t>(source, count, out, room, flags);
  }
}

uint32_t length_of(const Cell* string) {
  SeriesBuffer* buffer = memory::buffer_of(string->node());
  string::unit_of(buffer);
  return string::units_from_head(string, buffer);
}

// Worst-case bytes per unit: Latin-1 needs 2, the BMP 3, the rest 4; a CR added before an LF
// stays within these.
constexpr uint32_t kWorstBytes[string::UNIT_4 + 1] = {0, 2, 3, 0, 4};

}  // namespace

size_t count_chars(const uint8_t* start, const uint8_t* end) {
  size_t count = 0;
  const uint8_t* p = start;
  while (p < end) {
    size_t run = ascii_run(p, end, false);
    count += run;
    p += run;
    if (p == end) break;
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    ++count;
  }
  return count;
}

const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, size_t n) {
  const uint8_t* p = start;
  for (; n > 0 && p < end; --n) {
    if (*p < kFirstTwoByte) {
      ++p;
      continue;
    }
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
  }
  return p;
}

int sequence_length(uint8_t lead) {
  if (lead >= kFirstFourLead) return 4;
  if (lead >= kFirstThreeLead) return 3;
  if (lead >= kFirstLead) return 2;
  return 0;
}

int encoded_length(uint32_t cp) {
  if (cp < kFirstTwoByte) return 1;
  if (cp < kFirstThreeByte) return 2;
  if (cp < kFirstFourByte) return 3;
  if (cp <= kMaxCodePoint) return 4;
  raise_invalid_char(cp);
}

size_t length_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit) {
  size_t bytes = 0;
  for (const uint8_t* p = start; p < end; p += unit)
    bytes += size_t(encoded_length(string::get_char(p, unit)));
  return bytes;
}

int encode_char(uint32_t cp, uint8_t* out) {
  int length = encoded_length(cp);
  if (length == 1) {
    out[0] = uint8_t(cp);
    return 1;
  }
  for (int i = length - 1; i > 0; --i) {
    out[i] = uint8_t(kContinuationTag | (cp & kContinuationMask));
    cp >>= kContinuationBits;
  }
  out[0] = uint8_t(kLeadTag[length] | cp);
  return length;
}

int encode_char_bounded(uint32_t cp, uint8_t* out, int room) {
  uint8_t sequence[kMaxSequence];
  int length = std::min(encode_char(cp, sequence), std::max(room, 0));
  std::memcpy(out, sequence, size_t(length));
  return length;
}

namespace {
// As encode_char, except that U+DC80-U+DCFF become the single bytes 80-FF.
int encode_os_char(uint32_t cp, uint8_t* out) {
  if (cp < kFirstEscape || cp > kLastEscape) return encode_char(cp, out);
  out[0] = uint8_t(cp - kEscapeBase);
  return 1;
}
}  // namespace

int32_t decode_one(const uint8_t* p, size_t* available) {
  size_t consumed = 0;
  int32_t cp = decode_strict(p, *available, &consumed);
  if (cp == kInvalid) raise_invalid_utf8(p, *available);
  if (cp != kIncomplete) *available = consumed;
  return cp;
}

namespace {
// OS-text decoding of one code point (never fails, consumes at least one byte).
uint32_t decode_os_char(const uint8_t* p, const uint8_t* end, const uint8_t** next) {
  int32_t cp;
  const uint8_t* after = unicode::fast_decode_utf8_char(p, end, &cp);
  if (cp < 0) {
    *next = p + 1;
    return kEscapeBase + *p;
  }
  *next = after;
  return uint32_t(cp);
}
}  // namespace

Loaded load_string(const uint8_t* bytes, size_t count, NodeId target, size_t* left_over,
                   LineEnds line_ends) {
  // A byte order mark opens text files; OS text has none, its bytes are all part of the name.
  if (count >= sizeof kBom && std::memcmp(bytes, kBom, sizeof kBom) == 0) {
    bytes += sizeof kBom;
    count -= sizeof kBom;
  }
  return load(bytes, count, target, left_over, line_ends,
              [](const uint8_t*& p, const uint8_t* end) {
                size_t consumed = 0;
                int32_t cp = decode_strict(p, size_t(end - p), &consumed);
                p += consumed;
                return cp;
              });
}

Loaded load_os_text(const uint8_t* bytes, size_t count, NodeId target) {
  return load(bytes, count, target, nullptr, LineEnds::KEEP,
              [](const uint8_t*& p, const uint8_t* end) {
                return int32_t(decode_os_char(p, end, &p));
              });
}

const uint8_t* from_string(Cell* string, int32_t* length, unsigned flags) {
  uint32_t count = length_of(string);
  if (*length >= 0 && uint32_t(*length) < count) count = uint32_t(*length);
  uint32_t unit = memory::buffer_of(string->node())->unit();
  uint64_t size = (uint64_t(count) + 1) * kWorstBytes[unit];
  if (size > UINT32_MAX) error::raise(error::CAT_INTERNAL, "no-memory");
  uint8_t* out = os_buffer::ensure(string, uint32_t(size));
  size_t n = encode_string(string, count, out, SIZE_MAX, flags);
  out[n] = 0;
  *length = int32_t(n);
  return out;
}

size_t from_string_into(const Cell* string, uint8_t* out, int32_t limit, bool terminate) {
  uint32_t count = length_of(string);
  if (limit >= 0 && uint32_t(limit) < count) count = uint32_t(limit);
  size_t n = encode_string(string, count, out, SIZE_MAX, ENCODE_PLAIN);
  if (terminate) out[n] = 0;
  return n;
}

size_t from_string_part(const Cell* string, uint8_t* out, size_t room, int32_t limit,
                        bool terminate) {
  uint32_t count = length_of(string);
  if (limit > 0 && uint32_t(limit) < count) count = uint32_t(limit);
  size_t n = encode_string(string, count, out, room, ENCODE_PLAIN);
  if (terminate) out[n] = 0;
  return n;
}

}  // namespace xol::utf8

namespace xol::os_buffer {

uint8_t* ensure(Cell* string, uint32_t size) {
  if (string->data3 == kNoNode) {
    NodeId node = memory::alloc_bytes(size);
    string->data3 = node;
    return memory::buffer_of(node)->data();
  }
  memory::SeriesBuffer* buffer = memory::buffer_of(string->data3);
  if (buffer->size < size) buffer = memory::grow_series(buffer, size);
  return buffer->data();
}

}  // namespace xol::os_buffer
