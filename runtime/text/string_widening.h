// Text buffers of 1-, 2- and 4-byte units, and the writes that widen them.
//
// Every text value keeps its characters in one series buffer whose unit (bits 0-4 of the
// flags) is 1 (U+0000-U+00FF), 2 (up to U+FFFF, surrogates stored as themselves, never
// paired) or 4 (up to U+10FFFF), little-endian, without terminator, from the data start to the
// tail. A code point that does not fit widens the whole buffer in place, back to front, so
// that no second buffer is needed unless it must grow; nothing here ever narrows one.
//
// When a unit-1 buffer widens depends on the writer, and the difference is deliberate:
// appending a single code point (the way mold, form and `append` of a `char!` build text)
// widens from U+0080 on, so that a buffer built that way holds ASCII only while it stays at
// unit 1; loading text and storing at a position keep U+0080-U+00FF in unit 1 and widen only
// from U+0100 on.
//
// Widening and growing move the buffer, so every writer answers the buffer the node holds
// afterwards; a caller continues with that one (or with the node).
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/memory/memory.h"

namespace xol::string {

using memory::SeriesBuffer;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "text units are little-endian, so they are read and written as native integers");

// Units of the buffers of text.
enum Unit : uint32_t { UNIT_1 = 1, UNIT_2 = 2, UNIT_4 = 4 };

constexpr uint32_t kFirstAppendWide = 0x80;    // append-char widens unit 1 from here
constexpr uint32_t kFirstStoreWide = 0x100;    // loads and stores widen unit 1 from here
constexpr uint32_t kFirstUnit4 = 0x10000;      // beyond unit 2

// The narrowest unit that an append of cp leaves a unit-1 buffer at (unit 1 for ASCII only).
constexpr uint32_t unit_for_append(uint32_t cp) {
  return cp < kFirstAppendWide ? UNIT_1 : cp < kFirstUnit4 ? UNIT_2 : UNIT_4;
}
// The narrowest unit that holds cp (unit 1 for all of Latin-1): loads, stores at a position.
constexpr uint32_t unit_for_store(uint32_t cp) {
  return cp < kFirstStoreWide ? UNIT_1 : cp < kFirstUnit4 ? UNIT_2 : UNIT_4;
}

// Ends the process with the fatal runtime error 101: a text buffer of another unit.
[[noreturn]] void raise_bad_unit();

// The unit of a text buffer; any other unit is the fatal runtime error 101.
inline uint32_t unit_of(const SeriesBuffer* buffer) {
  constexpr uint32_t kTextUnits = 1u << UNIT_1 | 1u << UNIT_2 | 1u << UNIT_4;
  uint32_t unit = buffer->unit();
  if (unit > UNIT_4 || !(kTextUnits >> unit & 1)) raise_bad_unit();
  return unit;
}

template <typename Unit>
inline uint32_t load_unit(const uint8_t* at) {
  Unit unit;
  std::memcpy(&unit, at, sizeof unit);
  return unit;
}
template <typename Unit>
inline void store_unit(uint8_t* at, uint32_t cp) {
  Unit unit = Unit(cp);
  std::memcpy(at, &unit, sizeof unit);
}

// The code point stored at `at` in a buffer of `unit`.
inline uint32_t get_char(const uint8_t* at, uint32_t unit) {
  switch (unit) {
    case UNIT_1: return *at;
    case UNIT_2: return load_unit<uint16_t>(at);
    default: return load_unit<uint32_t>(at);
  }
}
// Stores cp at `at` as one unit, keeping its low bits.
inline void put_char(uint8_t* at, uint32_t unit, uint32_t cp) {
  switch (unit) {
    case UNIT_1: *at = uint8_t(cp); break;
    case UNIT_2: store_unit<uint16_t>(at, cp); break;
    default: store_unit<uint32_t>(at, cp); break;
  }
}

// Units from the string cell's head to the tail of its buffer; 0 when the head lies beyond.
inline uint32_t units_from_head(const Cell* string, const SeriesBuffer* buffer) {
  uint32_t units = buffer->tail / buffer->unit();
  return string->head_index() < units ? units - string->head_index() : 0;
}
// The address of the string cell's head unit in its buffer.
inline uint8_t* head_address(const Cell* string, SeriesBuffer* buffer) {
  return buffer->data() + string->head_index() * buffer->unit();
}

// Widens to `unit` when the buffer is narrower; a buffer as wide or wider is answered as is.
SeriesBuffer* widen_when_narrower(SeriesBuffer* buffer, uint32_t unit);
// The same for a valid text unit, without a call when the buffer already has that unit (the
// common case of every write).
inline SeriesBuffer* widen_to(SeriesBuffer* buffer, uint32_t unit) {
  return buffer->unit() == unit ? buffer : widen_when_narrower(buffer, unit);
}

// Appends one code point at the tail (widening from U+0080 in a unit-1 buffer); a full buffer
// grows to twice its used bytes plus the new unit.
SeriesBuffer* append_char(NodeId node, uint32_t cp);
// Stores cp at unit index `index` (widening from U+0100 in a unit-1 buffer). An index at the
// tail extends the text by one unit; the caller never writes past the tail.
SeriesBuffer* overwrite_char(NodeId node, uint32_t index, uint32_t cp);
// Moves the units from `index` on one place up and stores cp at `index` (widening as
// overwrite_char does).
SeriesBuffer* insert_char(NodeId node, uint32_t index, uint32_t cp);

}  // namespace xol::string
