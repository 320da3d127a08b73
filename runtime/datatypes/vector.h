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
// Elements from the head index to the tail.
uint32_t length_at(const Cell* vector);

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
// append_value for each value of a block from its head.
void append_block(Cell* vector, const Cell* block);
// Makes `target` a new block of the elements from the head index.
Cell* to_block(const Cell* vector, Cell* target);
// The elements' text, separated by single spaces; chars molded with `mold`.
int32_t form_elements(const Cell* vector, Cell* buffer, bool all, bool has_part, int32_t part,
                      bool mold);

// Element-wise vector op scalar in place (scalar op element with `scalar_first`); `result`
// becomes the vector.
void do_math_scalar(MathOp op, const Cell* vector, const Cell* scalar, bool scalar_first,
                    Cell* result);
// vector op operand: in place with a scalar, a new vector with another vector.
void do_math(MathOp op, const Cell* vector, const Cell* operand, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result);
void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result);
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result);
void sort(Cell* series, const SortOptions& options, Cell* result);

// Registers vector! (id 35, parent string!).
void init();

}  // namespace xol::vector
