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
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
void eval_path(const PathStep& step, Cell* result);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void absolute(Cell* value, Cell* result);
void negate(Cell* value, Cell* result);
void round(Cell* value, const RoundOptions& options, Cell* result);
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
void reverse(Cell* series, const Cell* part, const Cell* skip, Cell* result);

// Registers pair! (id 37).
void init();

}  // namespace xol::pair
