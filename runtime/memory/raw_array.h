// Raw arrays: growable arrays of bytes or 32-bit values kept in ordinary series buffers.
//
// Runtime code needs small growable arrays (chains of key positions, node lists, byte
// scratch) that the collector moves and reclaims like any other series. A raw array is just a
// series node whose unit says the element width (1 or 4; length and truncation work for any
// unit); these routines read and write its buffer directly, without any datatype. A grow
// moves the buffer, so callers hold the node, never a buffer address. Node ids are 32-bit, so
// "pointer" elements are stored like any other 32-bit value.
//
// Positions taken as arguments are 1-based (`insert_int` takes a 0-based element index);
// positions answered are byte offsets from the head.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::array {

// A new empty array with room for `count` elements of `unit` bytes.
NodeId make(uint32_t count, uint32_t unit);
uint32_t length(NodeId array);
void clear(NodeId array);
// Keeps the elements before 1-based `position`.
void truncate(NodeId array, uint32_t position);
NodeId copy(NodeId array);
uint32_t flags(NodeId array);

void append_byte(NodeId array, uint8_t byte);
void append_bytes(NodeId array, const void* bytes, uint32_t length);
uint8_t pick_byte(NodeId array, uint32_t index);

void append_int(NodeId array, uint32_t value);
// Inserts before 0-based element `index` (the length appends).
void insert_int(NodeId array, uint32_t value, uint32_t index);
uint32_t pick_int(NodeId array, uint32_t index);
void poke_int(NodeId array, uint32_t index, uint32_t value);
// Byte offset of the first element equal to `value`, or -1.
int32_t find_int(NodeId array, uint32_t value);

// Removes `count` bytes at byte `offset`, closing the gap.
void remove_bytes(NodeId array, uint32_t offset, uint32_t count);
// Removes the first element equal to `value`; nothing when there is none.
void remove_pointer(NodeId array, uint32_t value);

}  // namespace xol::array
