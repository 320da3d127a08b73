// float!, and its children percent! and time!: the IEEE 754 double and the float arithmetic
// core.
//
// The three types share one cell layout (the double in payload words 2-3) and one core: an
// operation on any two of them, or on one of them and an integer!, is one double operation whose
// result type follows the operands (time! when either is a time!, else percent! when the first
// is a percent!, else float!). Float arithmetic never raises on overflow or division by zero:
// infinities and NaN flow through and print as "1.#INF", "-1.#INF" and "1.#NaN".
//
// Equality is tolerant: two doubles are equal when their difference is below the double epsilon
// or when they lie at most 10 units in the last place apart, so 0.1 + 0.2 = 0.3. NaN is equal
// to nothing under `=`, and `same?` compares the 64 bits.
//
// `form` prints through the pretty formatter of number_text.h ("%.16g", noise digits retried
// with fewer), `mold` the shortest text that reads back.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::floating {

inline double get(const Cell* value) { return value->float_value(); }
inline Cell make(double value, TypeId type = TYPE_FLOAT) {
  Cell cell{type, 0, 0, 0};
  cell.set_float_value(value);
  return cell;
}
// Turns `cell` into a double of `type` (float!, percent! or time!), keeping its header flags.
inline void make_at(Cell* cell, double value, TypeId type = TYPE_FLOAT) {
  cell::set_type(cell, type);
  cell->data1 = 0;
  cell->set_float_value(value);
}
// The value of an integer!, char!, float!, percent! or time! as a double.
double to_double(const Cell* number);

// a op b (OP_ADD .. OP_REMAINDER) by the float rules: IEEE results, infinities and NaN rather
// than errors, remainder as fmod. The per-element loops of vectors, points and tuples run it
// without building cells; other ops raise script `cannot-use` with `type`.
inline double apply(MathOp op, double a, double b, TypeId type = TYPE_FLOAT) {
  switch (op) {
    case OP_ADD: return a + b;
    case OP_SUBTRACT: return a - b;
    case OP_MULTIPLY: return a * b;
    case OP_DIVIDE: return a / b;
    case OP_REMAINDER: return std::fmod(a, b);
    default: number::raise_cannot_use(number::action_of(op), type);
  }
}

// The compare answer for two doubles under `op`: -1, 0 or 1; an ordering with a NaN on either
// side is false whichever way it is asked.
int32_t compare_doubles(double a, double b, int32_t op);

// The compare answer for a double against a money!: the signs decide first, then doubles too
// small or too large for any amount, then the amounts.
int32_t compare_with_money(double value, const Cell* amount, int32_t op);

// The arithmetic core for ops 0-4: `left` is a float!, percent!, time! or integer!, `right`
// any value.
void do_math(MathOp op, const Cell* left, const Cell* right, Cell* result);

// `value` rounded to a multiple of `step` (0 or more) under the refinements of `options`, in
// their order of precedence (/down, /floor, /ceiling, then the tie rules /even, /half-down,
// /half-ceiling, else half away from zero); a finite value whose rounding leaves the doubles
// raises math `overflow`.
double round_to_step(double value, double step, const RoundOptions& options);
// `round` of a double of any family type, also reached from integer! with a scale that is not
// an integer!. Applies every refinement of `options`; the result's type follows the scale, which
// must be an integer!, float!, percent! or time! (else script `not-related`).
void round(Cell* value, const RoundOptions& options, Cell* result);

// ---- actions (float!, and inherited by percent! and time!) ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void absolute(Cell* value, Cell* result);
void negate(Cell* value, Cell* result);
void power(Cell* base, Cell* exponent, Cell* result);
bool even(const Cell* value);
bool odd(const Cell* value);

// Registers float! (id 12).
void init();

}  // namespace xol::floating

// percent!: a double that prints as a percentage; the stored 1.0 is 100%. It has only its own
// printed form: everything else is float!'s.
namespace xol::percent {

inline Cell make(double value) { return floating::make(value, TYPE_PERCENT); }

// Registers percent! (id 38), after float!.
void init();

}  // namespace xol::percent
