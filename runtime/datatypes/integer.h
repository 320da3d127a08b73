// integer!: the signed 32-bit integer, and the integer arithmetic core.
//
// Arithmetic never wraps: an add, subtract or multiply that leaves 32 bits gives the float! of
// the same operation on doubles, and a divide that does not come out even gives the float!
// quotient. Overflow is found with the compiler's checked operations, so the normal path costs
// no branch beyond one flag test and never a C++ exception. Operations that have no float
// result to fall back on (negating or taking the magnitude of -2147483648, dividing it by -1)
// raise math `overflow`.
//
// Cell: header type 11; payload word 2 holds the value; words 1 and 3 are 0.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::integer {

inline int32_t get(const Cell* value) { return int32_t(value->data2); }
inline Cell make(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }
// Turns `cell` into an integer!, keeping its header flags.
inline void make_at(Cell* cell, int32_t value) {
  cell::set_type(cell, TYPE_INTEGER);
  cell->data1 = 0;
  cell->data2 = uint32_t(value);
  cell->data3 = 0;
}

inline int32_t sign(int32_t value) { return (value > 0) - (value < 0); }
// The magnitude; -2147483648 raises math `overflow`.
int32_t abs(int32_t value);
// True when a double has no integer! of the same value after truncation: above 2147483647,
// below -2147483648, or NaN.
bool out_of_range(double value);
// Truncates a double toward zero; a double out of range raises script `type-limit`.
int32_t from_double(double value);
// The decimal text, in a static buffer valid until the next call.
const char* to_decimal_text(int32_t value);

// The 32-bit operation `op` (OP_ADD .. OP_XOR) that char!, vector!, pair! and tuple! share.
// With a result cell, an add, subtract or multiply that overflows and a divide that is not
// exact make it the float! of the operation on doubles; otherwise the cell becomes the integer!
// answered. Without one, the quotient is truncated and an overflow raises math `overflow`.
int32_t do_checked_op(int32_t left, int32_t right, MathOp op, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void absolute(Cell* value, Cell* result);
void negate(Cell* value, Cell* result);
void complement(Cell* value, Cell* result);
void round(Cell* value, const RoundOptions& options, Cell* result);

// Registers integer! (id 11).
void init();

}  // namespace xol::integer
