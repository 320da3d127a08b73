// pair!: a two-dimensional integer coordinate, written 10x20: offsets and sizes of faces, image
// sizes, any x/y integer quantity.
//
// Cell: header type 37, x and y as signed 32-bit integers in payload words 2 and 3 (the GUI
// back end reads them there). Arithmetic stays in integers while it can: an add, subtract or
// multiply that overflows, a point2D! operand, or a multiply or divide by a fraction redoes the
// whole operation in floats and gives a point2D!.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::pair {

inline int32_t x(const Cell* pair) { return int32_t(pair->data2); }
inline int32_t y(const Cell* pair) { return int32_t(pair->data3); }
inline Cell make(int32_t x, int32_t y) { return Cell{TYPE_PAIR, 0, uint32_t(x), uint32_t(y)}; }
inline Cell* make_at(Cell* cell, int32_t x, int32_t y) {
  *cell = make(x, y);
  return cell;
}
// An integer! as it is, a float! truncated toward zero (out of range or NaN: -2147483648).
int32_t get_int(const Cell* number);
// The point2D! of the same coordinates.
Cell to_point2d(const Cell* pair);

// pair op operand, written to `result` (Algorithms of the arithmetic: integers with overflow
// promotion, floats, points).
void do_math(MathOp op, const Cell* pair, const Cell* operand, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers pair! (id 37).
void init();

}  // namespace xol::pair
