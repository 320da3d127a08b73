// Widening of text buffers, and the single-character writes that widen them.
#include "runtime/text/string_widening.h"

#include <cstring>

#include "runtime/process/process.h"

namespace xol::string {

namespace {

// Rewrites `count` units of width From as units of width To, last first: the target range
// starts where the source does and is wider, so a unit is always read before it is
// overwritten.
template <typename From, typename To>
void rewrite_back_to_front(uint8_t* data, uint32_t count) {
  for (uint32_t i = count; i-- > 0;)
    store_unit<To>(data + i * sizeof(To), load_unit<From>(data + i * sizeof(From)));
}

template <typename From, typename To>
SeriesBuffer* widen(SeriesBuffer* buffer) {
  constexpr uint32_t kRatio = sizeof(To) / sizeof(From);
  uint32_t used = buffer->tail;
  uint64_t room = uint64_t(used) * kRatio + sizeof(To);
  if (buffer->size < room) buffer = memory::grow_series(buffer, room);
  rewrite_back_to_front<From, To>(buffer->data(), used / sizeof(From));
  buffer->tail = used * kRatio;
  buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | uint32_t(sizeof(To));
  return buffer;
}

// Makes room for `bytes` more bytes after the tail, grown as memory::grown_size says.
SeriesBuffer* ensure_room(SeriesBuffer* buffer, uint32_t bytes) {
  uint64_t needed = uint64_t(buffer->tail) + bytes;
  if (needed > buffer->size) buffer = memory::grow_series(buffer, memory::grown_size(buffer->size, needed));
  return buffer;
}

}  // namespace

void raise_bad_unit() { rt::runtime_error(rt::RUNTIME_NO_SWITCH_MATCH, XOL_CALLER_ADDRESS); }

namespace {
// Widening in place: each rewrites the used units zero-extended, last first, after growing the
// buffer once when it lacks room for the widened text and one more unit.
SeriesBuffer* widen_1_to_2(SeriesBuffer* buffer) { return widen<uint8_t, uint16_t>(buffer); }
SeriesBuffer* widen_1_to_4(SeriesBuffer* buffer) { return widen<uint8_t, uint32_t>(buffer); }
SeriesBuffer* widen_2_to_4(SeriesBuffer* buffer) { return widen<uint16_t, uint32_t>(buffer); }
}  // namespace

SeriesBuffer* widen_when_narrower(SeriesBuffer* buffer, uint32_t unit) {
  uint32_t current = unit_of(buffer);
  if (current >= unit) return buffer;
  if (unit == UNIT_2) return widen_1_to_2(buffer);
  return current == UNIT_1 ? widen_1_to_4(buffer) : widen_2_to_4(buffer);
}

SeriesBuffer* append_char(NodeId node, uint32_t cp) {
  SeriesBuffer* buffer = widen_to(memory::buffer_of(node), unit_for_append(cp));
  uint32_t unit = buffer->unit();
  buffer = ensure_room(buffer, unit);
  put_char(buffer->tail_ptr(), unit, cp);
  buffer->tail += unit;
  return buffer;
}

SeriesBuffer* overwrite_char(NodeId node, uint32_t index, uint32_t cp) {
  SeriesBuffer* buffer = widen_to(memory::buffer_of(node), unit_for_store(cp));
  uint32_t unit = buffer->unit();
  uint32_t offset = index * unit;
  if (offset >= buffer->tail) {
    buffer = ensure_room(buffer, unit);
    buffer->tail = offset + unit;
  }
  put_char(buffer->data() + offset, unit, cp);
  return buffer;
}

SeriesBuffer* insert_char(NodeId node, uint32_t index, uint32_t cp) {
  SeriesBuffer* buffer = widen_to(memory::buffer_of(node), unit_for_store(cp));
  uint32_t unit = buffer->unit();
  buffer = ensure_room(buffer, unit);
  uint8_t* at = buffer->data() + index * unit;
  std::memmove(at + unit, at, buffer->tail_ptr() - at);
  put_char(at, unit, cp);
  buffer->tail += unit;
  return buffer;
}

}  // namespace xol::string
