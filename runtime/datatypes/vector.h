// vector!: a series of packed numbers of one element type and size: integers and chars of 8, 16
// or 32 bits, floats of 32 or 64 bits, percents of 64 bits.
//
// Cell: header type 35; payload word 1 the head index in elements, word 2 the node of the
// element buffer, word 3 the element type id (char!, integer!, float! or percent!). The buffer's
// unit is the element size, so the series machinery that vectors share with string! (moving
// the head, length, copy, remove) works on it unchanged; this unit adds what depends on the
// element type: reading and writing elements, construction, the printed form, comparison,
// insertion, sorting and element-wise arithmetic.
//
// Integer elements read back sign-extended; char elements zero-extended, so every char of the
// element size reads back as itself. A percent element holds the fraction (50% is 0.5).
// Arithmetic with a scalar changes the vector in place and wraps integers in 32 bits; two
// vectors give a new one as long as the shorter.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"
#include "runtime/memory/memory.h"

namespace xol::vector {

inline TypeId element_type(const Cell* vector) { return TypeId(vector->data3); }
inline memory::SeriesBuffer* buffer_of(const Cell* vector) {
  return memory::buffer_of(vector->node());
}
inline uint32_t unit(const Cell* vector) { return buffer_of(vector)->unit(); }
// Elements in the whole buffer, the head ignored.
inline uint32_t buffer_length(const Cell* vector) { return buffer_of(vector)->length(); }

// Makes `cell` an empty vector of `type` elements of `unit` bytes with room for `count`; a
// size past 32 bits raises internal `no-memory`.
Cell* make_at(Cell* cell, uint32_t count, TypeId type, uint32_t unit);

// Element `position` (counted from the buffer start) as the value pick answers.
Cell element_at(const Cell* vector, uint32_t position);
// Stores a value of the element type at `position`; another type raises script `invalid-arg`.
void store_element(const Cell* vector, uint32_t position, const Cell* value);

// Appends one 4-byte element (the GUI back end's backdrop lists).
void append_int32(Cell* vector, int32_t value);
// Append at the tail, overwrite at a head-relative index (extending the tail when the index is
// the tail), insert at a head-relative index; the value must be of the element type, else
// script `invalid-arg`.
void append_value(Cell* vector, const Cell* value);
// Makes `target` a new block of the elements from the head index.
Cell* to_block(const Cell* vector, Cell* target);

// Element-wise vector op scalar in place (scalar op element with `scalar_first`); `result`
// becomes the vector.
void do_math_scalar(MathOp op, const Cell* vector, const Cell* scalar, bool scalar_first,
                    Cell* result);

// ---- actions ----
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result);

// Registers vector! (id 35, parent string!).
void init();

}  // namespace xol::vector
