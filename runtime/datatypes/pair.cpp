// pair!: construction, integer arithmetic with promotion to point2D!, comparison, rounding and
// the actions.
#include "runtime/datatypes/pair.h"

#include <cmath>
#include <limits>
#include <utility>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"

namespace xol::pair {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// a op b in 32 bits; false when an add, subtract or multiply overflows (the caller redoes the
// operation in floats). Division by zero raises math `zero-divide`.
bool checked(MathOp op, int32_t a, int32_t b, int32_t* out) {
  switch (op) {
    case OP_ADD: return !__builtin_add_overflow(a, b, out);
    case OP_SUBTRACT: return !__builtin_sub_overflow(a, b, out);
    case OP_MULTIPLY: return !__builtin_mul_overflow(a, b, out);
    default:
      *out = integer::do_checked_op(a, b, op, nullptr);
      return true;
  }
}

void integer_math(MathOp op, const Cell* pair, int32_t bx, int32_t by, Cell* result) {
  int32_t rx, ry;
  if (checked(op, x(pair), bx, &rx) && checked(op, y(pair), by, &ry)) {
    *result = make(rx, ry);
    return;
  }
  Cell as_point = to_point2d(pair);
  Cell operand = point2d::make(float(bx), float(by));
  point::do_math(op, &as_point, &operand, result);
}

double finite_operand(const Cell* operand) {
  double f = operand->float_value();
  if (!std::isfinite(f)) number::raise_invalid_arg(operand);
  return f;
}

// Toward zero; out of range or NaN gives the smallest integer.
int32_t truncated(double value) { return integer::out_of_range(value) ? kMin : int32_t(value); }

bool is_number(const Cell* value) { return value->is(TYPE_INTEGER) || value->is(TYPE_FLOAT); }

// The 1-based coordinate an index or word names, or 0.
int32_t element_index(const Cell* element) { return compound::coordinate_index(element, 2); }

int32_t coordinate(const Cell* pair, int32_t index) { return index == 1 ? x(pair) : y(pair); }

}  // namespace

int32_t get_int(const Cell* number) {
  return number->is(TYPE_INTEGER) ? integer::get(number) : truncated(number->float_value());
}

Cell to_point2d(const Cell* pair) { return point2d::make(float(x(pair)), float(y(pair))); }

void do_math(MathOp op, const Cell* pair, const Cell* operand, Cell* result) {
  switch (operand->type()) {
    case TYPE_PAIR:
      integer_math(op, pair, x(operand), y(operand), result);
      return;
    case TYPE_INTEGER:
      integer_math(op, pair, integer::get(operand), integer::get(operand), result);
      return;
    case TYPE_POINT2D: {
      Cell as_point = to_point2d(pair);
      point::do_math(op, &as_point, operand, result);
      return;
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double f = operand->float_value();
      if (op == OP_MULTIPLY || op == OP_DIVIDE) {
        if (op == OP_MULTIPLY ? !std::isfinite(f) : std::isnan(f))
          number::raise_invalid_arg(operand);
        double a = x(pair), b = y(pair);
        *result = op == OP_MULTIPLY ? point2d::make(float(a * f), float(b * f))
                                    : point2d::make(float(a / f), float(b / f));
        return;
      }
      f = finite_operand(operand);
      if (integer::out_of_range(f)) {
        // No integer holds it, so the operation overflows 32 bits: it is done in floats.
        Cell as_point = to_point2d(pair);
        point::do_math(op, &as_point, operand, result);
        return;
      }
      integer_math(op, pair, int32_t(f), int32_t(f), result);
      return;
    }
    default:
      number::raise_invalid_type(operand);
  }
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      *result = make(get_int(spec), get_int(spec));
      return;
    case TYPE_POINT2D: {
      float px = point::coordinate(spec, 0), py = point::coordinate(spec, 1);
      if (!std::isfinite(px) || !std::isfinite(py)) number::raise_invalid_arg(spec);
      *result = make(truncated(px), truncated(py));
      return;
    }
    case TYPE_BLOCK: {
      const Cell* items = block::head(spec);
      if (block::length(spec) < 2 || !is_number(&items[0]) || !is_number(&items[1]))
        error::raise(error::CAT_SYNTAX, "malconstruct", spec);
      *result = make(get_int(&items[0]), get_int(&items[1]));
      return;
    }
    case TYPE_PAIR:
      copy_cell(spec, result);
      return;
    case TYPE_STRING:
      *result = compound::load_as(spec, TYPE_PAIR);
      return;
    default:
      number::raise_bad_to_arg(TYPE_PAIR, spec);
  }
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  part = text::append_counted(buffer, integer::to_decimal_text(x(value)), part);
  part = text::append_counted(buffer, "x", part);
  return text::append_counted(buffer, integer::to_decimal_text(y(value)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

void eval_path(const PathStep& step, Cell* result) {
  int32_t index = element_index(step.element);
  if (!index) number::raise_invalid_path(step);
  if (!step.value) {
    *result = integer::make(coordinate(step.parent, index));
    return;
  }
  if (!step.value->is(TYPE_INTEGER)) number::raise_invalid_type(step.value);
  Cell old = *step.parent;
  (index == 1 ? step.parent->data2 : step.parent->data3) = step.value->data2;
  compound::notify_path_set(step, old);
  copy_cell(step.value, result);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (value2->is(TYPE_POINT2D)) {
    Cell as_point = to_point2d(value1);
    return point::compare(&as_point, value2, op);
  }
  if (!value2->is(TYPE_PAIR)) return kNotComparable;
  if (x(value1) != x(value2)) return number::three_way(x(value1), x(value2));
  return number::three_way(y(value1), y(value2));
}

void absolute(Cell* value, Cell* result) {
  *result = make(integer::abs(x(value)), integer::abs(y(value)));
}

void negate(Cell* value, Cell* result) {
  *result = make(int32_t(0u - uint32_t(x(value))), int32_t(0u - uint32_t(y(value))));
}

void round(Cell* value, const RoundOptions& options, Cell* result) {
  const Cell* scale = options.to;
  if (scale && scale->is(TYPE_MONEY)) number::raise_not_related(ACT_ROUND, TYPE_MONEY);
  int32_t rounded[2];
  for (int32_t index = 1; index <= 2; ++index) {
    Cell step = scale && scale->is(TYPE_PAIR) ? integer::make(coordinate(scale, index))
                                               : scale ? *scale : integer::make(1);
    RoundOptions each = options;
    each.to = &step;
    Cell coordinate_value = integer::make(coordinate(value, index)), answer;
    integer::round(&coordinate_value, each, &answer);
    rounded[index - 1] = get_int(&answer);
  }
  *result = make(rounded[0], rounded[1]);
}

void pick(Cell* series, int32_t, const Cell* index_cell, Cell* result) {
  int32_t index = element_index(index_cell);
  if (index) {
    *result = integer::make(coordinate(series, index));
    return;
  }
  compound::raise_no_coordinate(index_cell, series);
}

void reverse(Cell* series, const Cell*, const Cell*, Cell* result) {
  *result = make(y(series), x(series));
}

// random: /seed seeds the generator with x XOR y. Otherwise each coordinate n becomes a uniform
// 1..n (n..-1 when negative); a zero coordinate stays 0.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(value->data2 ^ value->data3);
    cell::set_unset(result);
    return;
  }
  int32_t drawn_x = xol::random::integer(secure, x(value));
  int32_t drawn_y = xol::random::integer(secure, y(value));
  *result = make(drawn_x, drawn_y);
}
}  // namespace

void init() {
  using actions::own;
  actions::ActionList list;
  list.own(own<ACT_MAKE>(make))
      .own(own<ACT_RANDOM>(random))
      .own(own<ACT_TO>(make))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_EVAL_PATH>(eval_path))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_ABSOLUTE>(absolute))
      .own(own<ACT_NEGATE>(negate))
      .own(own<ACT_ROUND>(round))
      .own(own<ACT_PICK>(pick))
      .own(own<ACT_REVERSE>(reverse));
  number::own_arithmetic<do_math>(list);
  number::own_bitwise<do_math>(list);
  datatype::register_type(TYPE_PAIR, 0, "pair!", list);
}

}  // namespace xol::pair
