// UTF-16LE loading and encoding.
#include "runtime/text/utf16.h"

#include <cstring>

#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"
#include "runtime/text/utf8.h"

namespace xol::utf16 {

using memory::SeriesBuffer;

namespace {

constexpr uint32_t kLatin1End = 0x100;
constexpr uint16_t kCr = '\r';
constexpr uint16_t kLf = '\n';

uint32_t unit_at(const uint8_t* units, size_t i) {
  return string::load_unit<uint16_t>(units + i * sizeof(uint16_t));
}

[[noreturn]] void raise_broken_pair(uint32_t unit) {
  Cell arg{TYPE_INTEGER, 0, unit, 0};
  error::raise(error::CAT_SCRIPT, "invalid-data", &arg);
}

// The unit the loaded text needs: 1 when every unit is Latin-1, 4 as soon as one is a
// surrogate, else 2. Checks the pairs on the way.
uint32_t scan_units(const uint8_t* units, size_t count) {
  uint32_t unit = string::UNIT_1;
  for (size_t i = 0; i < count; ++i) {
    uint32_t u = unit_at(units, i);
    if (u < kLatin1End) continue;
    if (!is_surrogate(u)) {
      if (unit == string::UNIT_1) unit = string::UNIT_2;
      continue;
    }
    unit = string::UNIT_4;
    if (is_high_surrogate(u)) {
      if (i + 1 == count || !is_low_surrogate(unit_at(units, i + 1))) raise_broken_pair(u);
      ++i;
    }
  }
  return unit;
}

}  // namespace

NodeId load(const uint8_t* units, size_t count, Cell* target, bool drop_cr) {
  // An empty input has nothing to read: its null address does not ask for the conversion buffer.
  if (!units && count != 0) units = memory::buffer_of(target->data3)->data();
  uint32_t unit = scan_units(units, count);
  uint64_t bytes = uint64_t(count) * unit;
  if (bytes > UINT32_MAX) error::raise(error::CAT_INTERNAL, "no-memory");
  NodeId node;
  if (target) {
    node = target->node();
    SeriesBuffer* buffer = memory::buffer_of(node);
    if (buffer->size < bytes) memory::grow_series(buffer, bytes);
  } else {
    node = memory::alloc_units(uint32_t(count), unit);
  }
  SeriesBuffer* buffer = memory::buffer_of(node);
  buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | unit;
  buffer->head = 0;
  uint8_t* out = buffer->data();
  uint32_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = unit_at(units, i);
    if (drop_cr && cp == kCr) continue;
    if (unit == string::UNIT_4 && is_high_surrogate(cp)) cp = join_pair(cp, unit_at(units, ++i));
    string::put_char(out + at, unit, cp);
    at += unit;
  }
  buffer->tail = at;
  return node;
}

const uint16_t* from_string_length(Cell* string, int32_t* length, bool crlf) {
  SeriesBuffer* buffer = memory::buffer_of(string->node());
  uint32_t unit = string::unit_of(buffer);
  uint32_t count = string::units_from_head(string, buffer);
  if (*length >= 0 && uint32_t(*length) < count) count = uint32_t(*length);
  const uint8_t* source = string::head_address(string, buffer);
  uint64_t extra = 0;   // a CR before an LF, or the second half of a pair
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t cp = string::get_char(source + i * unit, unit);
    if (cp == kLf || cp >= kSupplementaryBase) extra += sizeof(uint16_t);
  }
  uint64_t size = uint64_t(count) * sizeof(uint16_t) + sizeof(uint16_t) + extra;
  if (size > UINT32_MAX) error::raise(error::CAT_INTERNAL, "no-memory");
  auto* out = reinterpret_cast<uint16_t*>(os_buffer::ensure(string, uint32_t(size)));
  source = string::head_address(string, memory::buffer_of(string->node()));
  uint32_t n = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t cp = string::get_char(source + i * unit, unit);
    if (cp == kLf && crlf) out[n++] = kCr;
    int written = encode_char(cp, out + n);
    if (written == 0) return nullptr;
    n += uint32_t(written);
  }
  out[n] = 0;
  *length = int32_t(n);
  return out;
}

const uint16_t* from_string(Cell* string) {
  int32_t length = -1;
  return from_string_length(string, &length, true);
}

int encode_char(uint32_t cp, uint16_t* out) {
  if (cp < kSupplementaryBase) {
    out[0] = uint16_t(cp);
    return 1;
  }
  if (cp > utf8::kMaxCodePoint) return 0;
  out[0] = uint16_t(kFirstSurrogate | ((cp - kSupplementaryBase) >> kSurrogateShift));
  out[1] = uint16_t(kFirstLowSurrogate | (cp & kSurrogateBits));
  return 2;
}

}  // namespace xol::utf16
